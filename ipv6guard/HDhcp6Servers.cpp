#include "ipv6guard/HDhcp6Servers.h"

#include <algorithm>
#include <cctype>

#include "ipv6guard/HIpv6Packet.h"
#include "ipv6guard/HIpv6Report.h"

namespace {

constexpr uint16_t kServerPort = 547;
constexpr uint16_t kClientPort = 546;
constexpr unsigned char kAdvertise = 2;
constexpr unsigned char kReply = 7;
constexpr uint16_t kOptServerId = 2;
constexpr int kUdpHeader = 8;
constexpr int kMessageHeader = 4;  // type and transaction id

// "00:01:..." -> bytes; empty when the text is not hex pairs.
std::vector<unsigned char> hex_bytes(const std::string& text) {
  std::vector<unsigned char> bytes;
  for (size_t i = 0; i < text.size(); i += 3) {
    if (i + 2 > text.size() || !std::isxdigit(static_cast<unsigned char>(text[i])) ||
        !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
        (i + 2 < text.size() && text[i + 2] != ':' && text[i + 2] != '-')) {
      return {};
    }
    bytes.push_back(static_cast<unsigned char>(std::stoi(text.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

}  // namespace

HDhcp6Servers::HDhcp6Servers(const std::vector<HString>& entries) {
  for (const HString& entry : entries) {
    Bytes bytes = hex_bytes(entry.get_str_direct());
    if (bytes.size() == 6) {
      vt_macs.push_back(bytes);
    } else if (!bytes.empty()) {
      vt_duids.push_back(bytes);
    }
  }
}

bool HDhcp6Servers::judge(const HIpv6Packet& packet) const {
  const unsigned char* udp = packet.upper();
  int len = packet.upper_length();
  if (empty() || HIpv6Packet::read_u16(udp) != kServerPort || HIpv6Packet::read_u16(udp + 2) != kClientPort) {
    return true;
  }
  if (len < kUdpHeader + kMessageHeader) return false;
  const unsigned char* message = udp + kUdpHeader;
  if (message[0] != kAdvertise && message[0] != kReply) return true;
  Bytes duid;
  int at = kUdpHeader + kMessageHeader;
  for (int option = 0; option < kMaxOptions && at < len; ++option) {
    if (len - at < 4) return false;
    uint16_t code = HIpv6Packet::read_u16(udp + at);
    int size = HIpv6Packet::read_u16(udp + at + 2);
    if (size > len - at - 4) return false;
    if (code == kOptServerId) duid.assign(udp + at + 4, udp + at + 4 + size);
    at += 4 + size;
  }
  Bytes mac(packet.eth_source(), packet.eth_source() + 6);
  bool listed = std::find(vt_macs.begin(), vt_macs.end(), mac) != vt_macs.end() ||
                (!duid.empty() && std::find(vt_duids.begin(), vt_duids.end(), duid) != vt_duids.end());
  if (listed) return true;
  HIpv6Address source;
  std::copy(packet.ip_source(), packet.ip_source() + 16, source.begin());
  HIpv6Report::dhcp6(packet.eth_source(), source);
  return true;
}
