#pragma once
// The IPv6 packet of a captured Ethernet frame, read as the host's stack
// would take it: a header of version 6, a payload of the length it states
// inside the frame, extension headers walked up to a bound, and an ICMPv6
// message or UDP datagram. Every read stays inside the
// packet; a frame that does not fit is malformed, one the host would ignore
// otherwise (another protocol, a fragment) is not judged. Checksums are not
// checked: a frame that the kernel takes with its checksum offloaded (a
// veth, a virtual NIC) is captured with a partial one.
#include <cstdint>

#include "wire/HWireLayout.h"

class HIpv6Packet {
 public:
  // Beyond this many extension headers a packet is taken as malformed.
  static constexpr int kMaxExtensionHeaders = 8;

  enum class Kind { kIcmp, kUdp, kOther, kMalformed };
  Kind read(const unsigned char* frame, int len);

  // After read() returned kIcmp or kUdp.
  const unsigned char* eth_source() const { return p_frame + HWireLayout::kEthSrc; }
  const unsigned char* ip_source() const { return ip() + HWireLayout::kIpv6Source; }
  const unsigned char* ip_destination() const { return ip() + HWireLayout::kIpv6Destination; }
  unsigned char hop_limit() const { return ip()[HWireLayout::kIpv6HopLimit]; }
  // The ICMPv6 message or UDP datagram, header included.
  const unsigned char* upper() const { return p_upper; }
  int upper_length() const { return i_upper_len; }

  static uint16_t read_u16(const unsigned char* at) { return static_cast<uint16_t>((at[0] << 8) | at[1]); }
  // The checksum of ICMPv6 and UDP over IPv6, for frames the guard sends:
  // over `data` with its checksum field as it stands.
  static uint16_t checksum(const unsigned char* source, const unsigned char* destination, unsigned char protocol,
                           const unsigned char* data, int len);

 private:
  const unsigned char* ip() const { return p_frame + HWireLayout::kEthHeaderLen; }

  const unsigned char* p_frame = nullptr;
  const unsigned char* p_upper = nullptr;
  int i_upper_len = 0;
};
