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
constexpr int kIpOffset = 14;
constexpr int kIpMinHeaderLen = 20;
constexpr int kUdpHeaderLen = 8;
constexpr unsigned char kIpVersion4 = 4;
constexpr unsigned char kProtocolUdp = 17;
constexpr uint16_t kMoreFragments = 0x2000;
constexpr uint16_t kFragmentOffset = 0x1fff;
constexpr uint16_t kServerPort = 67;
constexpr uint16_t kClientPort = 68;
// In the DHCP message.
constexpr int kOp = 0;
constexpr int kCiaddr = 12;
constexpr int kYiaddr = 16;

constexpr unsigned char kBootReply = 2;
constexpr unsigned char kDhcpOffer = 2;
constexpr unsigned char kOptPad = 0;
constexpr unsigned char kOptRouter = 3;
constexpr unsigned char kOptMessageType = 53;
constexpr unsigned char kOptEnd = 255;

const unsigned char kBroadcast[6] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff};

uint16_t read_u16(const unsigned char* at) { return static_cast<uint16_t>(at[0] << 8 | at[1]); }

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

// The host's stack would not take anything else for its DHCP client: an IPv4
// header of the length it states, UDP from the server port to the client
// port, and a datagram that the frame holds whole.
HDhcpAttackCallback::Datagram HDhcpAttackCallback::find_dhcp(const unsigned char* frame, int len, int& at,
                                                             int& size) {
  if (!frame || len < kIpOffset + kIpMinHeaderLen) return Datagram::kMalformed;
  const unsigned char* ip = frame + kIpOffset;
  int header_len = (ip[0] & 0x0f) * 4;
  if (ip[0] >> 4 != kIpVersion4 || header_len < kIpMinHeaderLen || kIpOffset + header_len > len) {
    return Datagram::kMalformed;
  }
  if (ip[9] != kProtocolUdp) return Datagram::kNotDhcp;
  uint16_t fragment = read_u16(ip + 6);
  // A later fragment has no ports to look at; a first one lacks the rest.
  if ((fragment & kFragmentOffset) != 0) return Datagram::kMalformed;
  if (kIpOffset + header_len + kUdpHeaderLen > len) return Datagram::kMalformed;
  const unsigned char* udp = ip + header_len;
  if (read_u16(udp) != kServerPort || read_u16(udp + 2) != kClientPort) return Datagram::kNotDhcp;
  int total_len = read_u16(ip + 2);
  int udp_len = read_u16(udp + 4);
  if ((fragment & kMoreFragments) != 0 || kIpOffset + total_len > len || udp_len < kUdpHeaderLen ||
      header_len + udp_len > total_len) {
    return Datagram::kMalformed;
  }
  at = kIpOffset + header_len + kUdpHeaderLen;
  size = udp_len - kUdpHeaderLen;
  return Datagram::kDhcp;
}

int HDhcpAttackCallback::on_packet(const unsigned char* frame, int len) {
  int at = 0;
  int size = 0;
  Datagram datagram = find_dhcp(frame, len, at, size);
  if (datagram == Datagram::kNotDhcp) {
    p_capture->count_not_judged(HWinPCapHelper::NotJudged::not_dhcp);
    return 0;
  }
  // Nothing of a message without an options area is read: it cannot carry
  // the message type that makes an offer.
  if (datagram == Datagram::kMalformed || size <= kOptionsOffset) {
    p_capture->count_not_judged(HWinPCapHelper::NotJudged::bad_dhcp);
    return 0;
  }
  const unsigned char* message = frame + at;
  if (message[kOp] != kBootReply) return 0;
  // The options end with the datagram, not with the frame's padding.
  std::vector<uint32_t> routers;
  unsigned char msg_type = 0;
  OptionWalk walk = walk_options(message + kOptionsOffset, size - kOptionsOffset, routers, msg_type);
  if (walk == OptionWalk::kTruncated) p_capture->count_not_judged(HWinPCapHelper::NotJudged::bad_dhcp);
  if (std::memcmp(frame + kEthDst, kBroadcast, sizeof(kBroadcast)) == 0) return 0;
  if (msg_type != kDhcpOffer) return 0;
  judge_offer(frame, message, size, routers);
  return 0;
}

void HDhcpAttackCallback::judge_offer(const unsigned char* frame, const unsigned char* message, int size,
                                      const std::vector<uint32_t>& routers) {
  // The rendering is plain ASCII: it goes to the attack log without a wide copy.
  std::string rendering;
  HString::append_bin_multi(rendering, message, size);
  write_attack_log(rendering.data(), rendering.size());

  unsigned char server_mac[6];
  std::memcpy(server_mac, frame + kEthSrc, sizeof(server_mac));
  uint32_t ciaddr = read_u32(message + kCiaddr);
  uint32_t yiaddr = read_u32(message + kYiaddr);
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
