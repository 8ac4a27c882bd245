#include "ipv6guard/HIpv6Packet.h"

namespace {

constexpr unsigned char kHopByHop = 0;
constexpr unsigned char kRouting = 43;
constexpr unsigned char kFragment = 44;
constexpr unsigned char kDestination = 60;

uint32_t add_words(uint32_t sum, const unsigned char* data, int len) {
  for (int i = 0; i + 1 < len; i += 2) sum += HIpv6Packet::read_u16(data + i);
  if (len % 2) sum += static_cast<uint32_t>(data[len - 1]) << 8;
  return sum;
}

}  // namespace

uint16_t HIpv6Packet::checksum(const unsigned char* source, const unsigned char* destination, unsigned char protocol,
                               const unsigned char* data, int len) {
  uint32_t sum = add_words(0, source, 16);
  sum = add_words(sum, destination, 16);
  sum += static_cast<uint32_t>(len >> 16) + static_cast<uint32_t>(len & 0xffff) + protocol;
  sum = add_words(sum, data, len);
  while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
  return static_cast<uint16_t>(~sum);
}

HIpv6Packet::Kind HIpv6Packet::read(const unsigned char* frame, int len) {
  p_frame = frame;
  constexpr int kHeaders = HWireLayout::kEthHeaderLen + HWireLayout::kIpv6HeaderLen;
  if (!frame || len < kHeaders) return Kind::kMalformed;
  const unsigned char* ip = frame + HWireLayout::kEthHeaderLen;
  if ((ip[0] >> 4) != 6) return Kind::kMalformed;
  // The payload ends where the header says, not with the frame's padding.
  int payload = read_u16(ip + HWireLayout::kIpv6PayloadLen);
  if (payload == 0 || payload > len - kHeaders) return Kind::kMalformed;
  unsigned char next = ip[HWireLayout::kIpv6NextHeader];
  int at = HWireLayout::kIpv6HeaderLen;
  const int end = HWireLayout::kIpv6HeaderLen + payload;
  for (int walked = 0; next == kHopByHop || next == kRouting || next == kDestination || next == kFragment; ++walked) {
    if (walked == kMaxExtensionHeaders || end - at < 8) return Kind::kMalformed;
    // The host takes neither neighbour discovery nor a DHCPv6 answer out of
    // a fragment here: reassembly is the stack's, not the guard's.
    if (next == kFragment) return Kind::kOther;
    int size = (ip[at + 1] + 1) * 8;
    if (size > end - at) return Kind::kMalformed;
    next = ip[at];
    at += size;
  }
  const bool udp = next == HWireLayout::kIpProtocolUdp;
  if (!udp && next != HWireLayout::kIpProtocolIcmpv6) return Kind::kOther;
  p_upper = ip + at;
  i_upper_len = end - at;
  if (i_upper_len < (udp ? HWireLayout::kUdpHeaderLen : 4)) return Kind::kMalformed;
  if (udp && (read_u16(p_upper + HWireLayout::kUdpLen) != i_upper_len)) return Kind::kMalformed;
  return udp ? Kind::kUdp : Kind::kIcmp;
}
