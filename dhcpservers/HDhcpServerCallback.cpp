#include "dhcpservers/HDhcpServerCallback.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "dhcpguard/HDhcpMessage.h"
#include "frame/HPTWGlobal.h"
#include "host/HNetworkProtocolUtil.h"
#include "host/HNetworkUtil.h"

namespace {
constexpr int kEthSrc = 6;
}  // namespace

HDhcpServerCallback::HDhcpServerCallback(const std::vector<HString>& servers) {
  for (const HString& server : servers) {
    const std::string text = server.get_str_direct();
    uint32_t address = 0;
    Mac mac{};
    if (HNetworkProtocolUtil::ParseIPString(text, address)) {
      vt_addresses.push_back(address);
    } else if (HNetworkProtocolUtil::MakeMACArrayFromString(text, mac.data())) {
      vt_macs.push_back(mac);
    }
  }
}

bool HDhcpServerCallback::is_listed(uint32_t ip, const unsigned char* mac) const {
  if (std::find(vt_addresses.begin(), vt_addresses.end(), ip) != vt_addresses.end()) return true;
  return std::any_of(vt_macs.begin(), vt_macs.end(),
                     [mac](const Mac& listed) { return std::memcmp(listed.data(), mac, listed.size()) == 0; });
}

// Unlike the DHCP guard's own walk, this one does not stop at the router
// option: the server identifier may stand anywhere among the options.
int HDhcpServerCallback::on_packet(const unsigned char* frame, int len) {
  HDhcpMessage message;
  if (message.read(frame, len) != HDhcpMessage::Datagram::kDhcp || !message.has_options()) return 0;
  if (message.op() != HDhcpMessage::kBootReply) return 0;
  unsigned char msg_type = 0;
  bool has_server_id = false;
  uint32_t server_id = 0;
  HDhcpMessage::Walk walk = HDhcpMessage::walk_options(
      message.options(), message.options_length(), [&](unsigned char code, const unsigned char* value, int value_len) {
        if (code == HDhcpMessage::kOptMessageType) msg_type = value[0];
        if (code == HDhcpMessage::kOptServerId && value_len == 4) {
          server_id = HDhcpMessage::read_u32(value);
          has_server_id = true;
        }
        return HDhcpMessage::Step::kNext;
      });
  if (walk == HDhcpMessage::Walk::kTruncated) return 0;
  if (msg_type != HDhcpMessage::kDhcpOffer && msg_type != HDhcpMessage::kDhcpAck) return 0;
  const unsigned char* server_mac = frame + kEthSrc;
  uint32_t server_ip = has_server_id ? server_id : message.ip_source();
  if (is_listed(server_ip, server_mac)) return 0;
  std::map<HString, HString> desc;
  desc[L"mac"] = HNetworkUtil::GetMACString(server_mac);
  desc[L"ip"] = HString(HNetworkProtocolUtil::GetIPString(server_ip, true));
  HPTWGlobal::ins().report_attack(false, desc, L"AntiARP_RP_DHCP_SERVER", 5);
  return 0;
}
