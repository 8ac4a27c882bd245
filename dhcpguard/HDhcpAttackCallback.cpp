#include "dhcpguard/HDhcpAttackCallback.h"

#include <cstring>
#include <map>
#include <string>

#include "frame/AttackLog.h"
#include "frame/HPTWGlobal.h"
#include "host/HFileLog.h"
#include "host/HNetworkUtil.h"

namespace {

const wchar_t kLogSource[] = L".\\HDhcpAttackCallback";

constexpr int kEthDst = 0;
constexpr int kEthSrc = 6;

const unsigned char kBroadcast[6] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff};

}  // namespace

HDhcpAttackCallback::HDhcpAttackCallback() {
  try {
    tc_gateway = test_gateway.start(0);
  } catch (const HIEUtil::NullHandleException&) {
    HFileLog::ins().log(1, kLogSource, __LINE__, L"cannot start the DHCP gateway probe thread");
  }
}

// The probe lives inside this callback: its thread must have ended, not
// only let go of it, before the memory goes. A thread still ending when the
// process exits can hold a lock that the exit needs (on Windows).
HDhcpAttackCallback::~HDhcpAttackCallback() {
  test_gateway.stop();
  tc_gateway.join();
}

bool HDhcpAttackCallback::check_arp_sender(unsigned long ip) { return test_gateway.check_arp_sender(ip); }

bool HDhcpAttackCallback::parse_options(const unsigned char* options, int length, std::vector<uint32_t>& routers,
                                        unsigned char& msg_type) {
  return walk_options(options, length, routers, msg_type) == HDhcpMessage::Walk::kStopped;
}

HDhcpMessage::Walk HDhcpAttackCallback::walk_options(const unsigned char* options, int length,
                                                     std::vector<uint32_t>& routers, unsigned char& msg_type) {
  const size_t first_router = routers.size();
  bool one_found = false;
  HDhcpMessage::Walk walk = HDhcpMessage::walk_options(
      options, length, [&](unsigned char code, const unsigned char* value, int value_len) {
        if (code == HDhcpMessage::kOptRouter) {
          for (int i = 0; i + 4 <= value_len; i += 4) routers.push_back(HDhcpMessage::read_u32(value + i));
        } else if (code == HDhcpMessage::kOptMessageType) {
          msg_type = value[0];
        } else {
          return HDhcpMessage::Step::kNext;
        }
        if (one_found) return HDhcpMessage::Step::kStop;
        one_found = true;
        return HDhcpMessage::Step::kNext;
      });
  if (walk == HDhcpMessage::Walk::kTruncated) {
    routers.resize(first_router);
    msg_type = 0;
  }
  return walk;
}

int HDhcpAttackCallback::on_packet(const unsigned char* frame, int len) {
  HDhcpMessage message;
  HDhcpMessage::Datagram datagram = message.read(frame, len);
  if (datagram == HDhcpMessage::Datagram::kNotDhcp) {
    p_capture->count_not_judged(HWinPCapHelper::NotJudged::not_dhcp);
    return 0;
  }
  // Nothing of a message without an options area is read: it cannot carry
  // the message type that makes an offer.
  if (datagram == HDhcpMessage::Datagram::kMalformed || !message.has_options()) {
    p_capture->count_not_judged(HWinPCapHelper::NotJudged::bad_dhcp);
    return 0;
  }
  if (message.op() != HDhcpMessage::kBootReply) return 0;
  std::vector<uint32_t> routers;
  unsigned char msg_type = 0;
  if (walk_options(message.options(), message.options_length(), routers, msg_type) ==
      HDhcpMessage::Walk::kTruncated) {
    p_capture->count_not_judged(HWinPCapHelper::NotJudged::bad_dhcp);
  }
  if (std::memcmp(frame + kEthDst, kBroadcast, sizeof(kBroadcast)) == 0) return 0;
  if (msg_type != HDhcpMessage::kDhcpOffer) return 0;
  judge_offer(frame, message, routers);
  return 0;
}

void HDhcpAttackCallback::judge_offer(const unsigned char* frame, const HDhcpMessage& message,
                                      const std::vector<uint32_t>& routers) {
  // The rendering is plain ASCII: it goes to the attack log without a wide copy.
  std::string rendering;
  HString::append_bin_multi(rendering, message.data(), message.size());
  write_attack_log(rendering.data(), rendering.size());

  unsigned char server_mac[6];
  std::memcpy(server_mac, frame + kEthSrc, sizeof(server_mac));
  uint32_t ciaddr = message.ciaddr();
  uint32_t yiaddr = message.yiaddr();
  if (yiaddr == 0 && ciaddr == 0) {
    std::map<HString, HString> desc;
    desc[L"mac"] = HNetworkUtil::GetMACString(server_mac);
    HPTWGlobal::ins().report_attack(false, desc, L"AntiARP_RP_DHCP", 4);
    return;
  }
  for (uint32_t router : routers) {
    HDhcpGatewayItem item;
    item.gateway_ip = router;
    item.client_ip = yiaddr != 0 ? yiaddr : ciaddr;
    std::memcpy(item.client_mac, frame + kEthDst, sizeof(item.client_mac));
    std::memcpy(item.server_mac, server_mac, sizeof(item.server_mac));
    test_gateway.add_gateway(item);
  }
}
