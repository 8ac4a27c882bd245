#pragma once
// Address texts and the ARP body conversion of the base library, as
// wire/HIpv4Text.h and wire/HMacText.h write and read them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/HArpNode.h"

#include "wire/HWireLayout.h"

// The 28-byte ARP body of RFC 826 (IPv4 over Ethernet), as on the wire.
constexpr int ARP_BODY_LEN = HWireLayout::kArpBodyLen;

class HNetworkProtocolUtil {
 public:
  // `address` in network byte order (as stored in a frame or a table row).
  static std::string GetIPString(unsigned long address, bool network_order);
  static std::string GetMACString(const unsigned char* bytes);
  // Accepts six hex groups of two digits separated by ":" or "-". Returns
  // true and writes 6 bytes only for such a text; false and nothing written
  // otherwise.
  static bool MakeMACArrayFromString(const std::string& text, unsigned char* bytes);
  // `body` must hold ARP_BODY_LEN bytes.
  static int MakeArpNode(const unsigned char* body, HArpNode& node);
  // Dotted IPv4 text (no leading zeros) to network byte order; false when
  // the text is not one.
  static bool ParseIPString(const std::string& text, uint32_t& address);
};
