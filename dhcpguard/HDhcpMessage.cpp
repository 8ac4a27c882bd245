#include "dhcpguard/HDhcpMessage.h"

#include "wire/HWireLayout.h"

namespace {

using L = HWireLayout;
constexpr int kIpOffset = L::kEthHeaderLen;
constexpr int kIpMinHeaderLen = L::kIpMinHeaderLen;
constexpr int kUdpHeaderLen = L::kUdpHeaderLen;
constexpr unsigned char kIpVersion4 = 4;
constexpr uint16_t kMoreFragments = 0x2000;
constexpr uint16_t kFragmentOffset = 0x1fff;
constexpr uint16_t kServerPort = 67;
constexpr uint16_t kClientPort = 68;

uint16_t read_u16(const unsigned char* at) { return static_cast<uint16_t>(at[0] << 8 | at[1]); }

}  // namespace

HDhcpMessage::Datagram HDhcpMessage::read(const unsigned char* frame, int len) {
  p_frame = p_message = nullptr;
  i_size = 0;
  if (!frame || len < kIpOffset + kIpMinHeaderLen) return Datagram::kMalformed;
  const unsigned char* ip = frame + kIpOffset;
  int header_len = (ip[0] & 0x0f) * 4;
  if (ip[0] >> 4 != kIpVersion4 || header_len < kIpMinHeaderLen || kIpOffset + header_len > len) {
    return Datagram::kMalformed;
  }
  if (ip[L::kIpProtocol] != L::kIpProtocolUdp) return Datagram::kNotDhcp;
  uint16_t fragment = read_u16(ip + L::kIpFragment);
  // A later fragment has no ports to look at; a first one lacks the rest.
  if ((fragment & kFragmentOffset) != 0) return Datagram::kMalformed;
  if (kIpOffset + header_len + kUdpHeaderLen > len) return Datagram::kMalformed;
  const unsigned char* udp = ip + header_len;
  if (read_u16(udp + L::kUdpSourcePort) != kServerPort || read_u16(udp + L::kUdpDestinationPort) != kClientPort) return Datagram::kNotDhcp;
  int total_len = read_u16(ip + L::kIpTotalLen);
  int udp_len = read_u16(udp + L::kUdpLen);
  if ((fragment & kMoreFragments) != 0 || kIpOffset + total_len > len || udp_len < kUdpHeaderLen ||
      header_len + udp_len > total_len) {
    return Datagram::kMalformed;
  }
  p_frame = frame;
  p_message = udp + kUdpHeaderLen;
  i_size = udp_len - kUdpHeaderLen;
  return Datagram::kDhcp;
}
