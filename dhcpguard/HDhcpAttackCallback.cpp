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
constexpr int kOp = HDhcpAttackCallback::kDhcpOffset;
constexpr int kCiaddr = HDhcpAttackCallback::kDhcpOffset + 12;
constexpr int kYiaddr = HDhcpAttackCallback::kDhcpOffset + 16;

constexpr unsigned char kBootReply = 2;
constexpr unsigned char kDhcpOffer = 2;
constexpr unsigned char kOptPad = 0;
constexpr unsigned char kOptRouter = 3;
constexpr unsigned char kOptMessageType = 53;
constexpr unsigned char kOptEnd = 255;

const unsigned char kBroadcast[6] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff};

uint32_t read_u32(const unsigned char* at) {
  uint32_t value = 0;
  std::memcpy(&value, at, sizeof(value));
  return value;
}

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
  return walk_options(options, length, routers, msg_type) == OptionWalk::kBothFound;
}

HDhcpAttackCallback::OptionWalk HDhcpAttackCallback::walk_options(const unsigned char* options, int length,
                                                                  std::vector<uint32_t>& routers,
                                                                  unsigned char& msg_type) {
  const size_t first_router = routers.size();
  bool one_found = false;
  int pos = 0;
  for (int step = 1; step <= kMaxOptionSteps && options && pos < length; ++step) {
    unsigned char code = options[pos];
    if (code == kOptPad) {
      ++pos;
      continue;
    }
    if (code == kOptEnd) return OptionWalk::kStopped;
    // Every other option has a length byte and that many value bytes, all
    // inside the area.
    int value_len = pos + 1 < length ? options[pos + 1] : -1;
    if (value_len < 0 || pos + 2 + value_len > length || (code == kOptMessageType && value_len < 1)) {
      routers.resize(first_router);
      msg_type = 0;
      return OptionWalk::kTruncated;
    }
    const unsigned char* value = options + pos + 2;
    if (code == kOptRouter || code == kOptMessageType) {
      if (code == kOptRouter) {
        for (int i = 0; i + 4 <= value_len; i += 4) routers.push_back(read_u32(value + i));
      } else {
        msg_type = value[0];
      }
      if (one_found) return OptionWalk::kBothFound;
      one_found = true;
    }
    pos += 2 + value_len;
  }
  return OptionWalk::kStopped;
}

int HDhcpAttackCallback::on_packet(const unsigned char* frame, int len) {
  // Nothing of a frame without an options area is read: it cannot carry the
  // message type that makes an offer.
  if (!frame || len <= kOptionsOffset) {
    ull_dropped_short.fetch_add(1, std::memory_order_relaxed);
    return 0;
  }
  // Every IPv4 frame comes here: the one-byte test goes before the walk,
  // which has no effect on a frame that is no reply.
  if (frame[kOp] != kBootReply) return 0;
  std::vector<uint32_t> routers;
  unsigned char msg_type = 0;
  OptionWalk walk = walk_options(frame + kOptionsOffset, len - kOptionsOffset, routers, msg_type);
  if (walk == OptionWalk::kTruncated) ull_dropped_truncated.fetch_add(1, std::memory_order_relaxed);
  if (std::memcmp(frame + kEthDst, kBroadcast, sizeof(kBroadcast)) == 0) return 0;
  if (msg_type != kDhcpOffer) return 0;
  judge_offer(frame, len, routers);
  return 0;
}

void HDhcpAttackCallback::judge_offer(const unsigned char* frame, int len, const std::vector<uint32_t>& routers) {
  // The rendering is plain ASCII: it goes to the attack log without a wide copy.
  std::string message;
  HString::append_bin_multi(message, frame + kDhcpOffset, len - kDhcpOffset);
  write_attack_log(message.data(), message.size());

  unsigned char server_mac[6];
  std::memcpy(server_mac, frame + kEthSrc, sizeof(server_mac));
  uint32_t ciaddr = read_u32(frame + kCiaddr);
  uint32_t yiaddr = read_u32(frame + kYiaddr);
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
