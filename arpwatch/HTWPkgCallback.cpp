#include "arpwatch/HTWPkgCallback.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "arpguard/HThreadTidewell.h"
#include "dhcpguard/HDhcpAttackCallback.h"
#include "frame/HPTWGlobal.h"
#include "host/HArpNode.h"
#include "host/HNetworkProtocolUtil.h"
#include "host/HSysInfoMgr.h"

const unsigned char kProbeMarker[kProbeMarkerLen] = {'K', 'i', 'v', 'o', 'H', 'a', 'r', 'b', 'o',
                                                     'r', 'P', 'r', 'o', 'b', 'e', 0,   0,   0};

namespace {
constexpr int kArpBodyOffset = 14;
constexpr int kSenderIpOffset = 28;
constexpr int kTargetIpOffset = 38;
constexpr int kArpFrameLen = kArpBodyOffset + ARP_BODY_LEN;  // 42: no padding
constexpr int kProbeFrameLen = kProbeMarkerOffset + kProbeMarkerLen;  // 60
static_assert(kArpFrameLen == 42, "Ethernet header and ARP body");
static_assert(kProbeFrameLen == 60, "marker fills the padding");

// Hardware type 1 (Ethernet), protocol 0x0800 (IPv4), address lengths 6 and
// 4, then the operation.
const unsigned char kArpHeader[6] = {0x00, 0x01, 0x08, 0x00, 6, 4};
constexpr int kOperationOffset = kArpBodyOffset + 6;

bool is_probe_frame(const unsigned char* frame, int len) {
  return len >= kProbeFrameLen && std::memcmp(frame + kProbeMarkerOffset, kProbeMarker, kProbeMarkerLen) == 0;
}

// The kernel answers and learns only from requests and replies for IPv4
// over Ethernet; any other frame claims nothing for this host.
bool is_ipv4_over_ethernet(const unsigned char* frame) {
  const unsigned char* op = frame + kOperationOffset;
  return std::memcmp(frame + kArpBodyOffset, kArpHeader, sizeof(kArpHeader)) == 0 && op[0] == 0 &&
         (op[1] == 1 || op[1] == 2);
}
}  // namespace

HTWPkgCallback::HTWPkgCallback() {
  HSysInfoMgr::ins().get_main_ip_mac(str_main_ip, str_main_mac);
  learn_main_ip_bytes();
  // Start-up creates the guard before this callback; without it there is no
  // one to start the probe thread or to take frames.
  HThreadTidewell* guard = HPTWGlobal::ins().p_thread_tidewell;
  if (guard) guard->start_test_thread(str_main_ip, str_main_mac);
}

int HTWPkgCallback::on_packet(const unsigned char* frame, int len) {
  // Too short for an ARP body: nothing in it may be read.
  if (!frame || len < kArpFrameLen) {
    ull_dropped_short.fetch_add(1, std::memory_order_relaxed);
    return 0;
  }
  if (is_probe_frame(frame, len)) return 0;

  uint32_t sender_ip = 0;  // network byte order, as on the wire
  std::memcpy(&sender_ip, frame + kSenderIpOffset, sizeof(sender_ip));
  HDhcpAttackCallback* dhcp = HPTWGlobal::ins().p_dhcp_callback;
  if (dhcp && dhcp->check_arp_sender(sender_ip)) return 0;
  if (!is_ipv4_over_ethernet(frame)) {
    p_capture->count_not_judged(HWinPCapHelper::NotJudged::bad_arp);
    return 0;
  }

  // The target's text equals the main IP's text exactly when the four bytes
  // equal those that the text stands for: only frames to this host are
  // turned into text, and that on the guard's thread.
  if (!b_main_ip_known || std::memcmp(frame + kTargetIpOffset, uc_main_ip, sizeof(uc_main_ip)) != 0) return 0;
  HThreadTidewell* guard = HPTWGlobal::ins().p_thread_tidewell;
  if (guard) guard->push_arp_body(frame + kArpBodyOffset);
  return 0;
}

// A text that MakeArpNode can never write (empty, leading zeros, not an
// address) matches no frame at all.
void HTWPkgCallback::learn_main_ip_bytes() {
  std::string text = str_main_ip.get_str_direct();
  uint32_t address = 0;
  b_main_ip_known = HString(text) == str_main_ip && HNetworkProtocolUtil::ParseIPString(text, address) &&
                    HNetworkProtocolUtil::GetIPString(address, true) == text;
  std::memcpy(uc_main_ip, &address, sizeof(uc_main_ip));
}
