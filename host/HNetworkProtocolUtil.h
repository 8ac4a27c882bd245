#pragma once
// Address formatting and the ARP body conversion of the base library.
// MAC texts are six two-digit lower-case hex groups joined by ":".
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/HArpNode.h"

// The 28-byte ARP body of RFC 826 (IPv4 over Ethernet), as on the wire.
constexpr int ARP_BODY_LEN = 28;

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
  // Dotted IPv4 text to network byte order; false when the text is not one.
  static bool ParseIPString(const std::string& text, uint32_t& address);

  // The texts above written into a caller's buffer, for paths that run per
  // frame: the four bytes as stored (network byte order) into at least
  // IP_TEXT_MAX bytes, six bytes into at least MAC_TEXT_LEN. Both return
  // the length written; no terminating zero.
  static constexpr size_t IP_TEXT_MAX = 15;
  static constexpr size_t MAC_TEXT_LEN = 17;
  static size_t FormatIP(const unsigned char* bytes, char* out);
  static size_t FormatMAC(const unsigned char* bytes, char* out);
};
