#include "arpwatch/HTWPkgCallback.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "arpguard/HThreadTidewell.h"
#include "dhcpguard/HDhcpAttackCallback.h"
#include "frame/HPTWGlobal.h"
#include "frame/HProbeMarker.h"
#include "host/HArpNode.h"
#include "host/HSysInfoMgr.h"
#include "wire/HIpv4Text.h"
#include "wire/HWireLayout.h"

namespace {
using L = HWireLayout;

// The kernel answers and learns only from requests and replies for IPv4
// over Ethernet; any other frame claims nothing for this host.
bool is_ipv4_over_ethernet(const unsigned char* frame) {
  // Hardware type 1 (Ethernet), protocol 0x0800 (IPv4), address lengths 6
  // and 4.
  static const unsigned char kArpHeader[6] = {0x00, 0x01, 0x08, 0x00, L::kMacLen, L::kIpv4Len};
  const unsigned char* op = frame + L::kFrameArpOp;
  return std::memcmp(frame + L::kEthHeaderLen, kArpHeader, sizeof(kArpHeader)) == 0 && op[0] == 0 &&
         (op[1] == L::kArpRequest || op[1] == L::kArpReply);
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
  if (!frame || len < L::kArpFrameLen) {
    ull_dropped_short.fetch_add(1, std::memory_order_relaxed);
    return 0;
  }
  if (HProbeMarker::marks(frame, len)) return 0;

  uint32_t sender_ip = 0;  // network byte order, as on the wire
  std::memcpy(&sender_ip, frame + L::kFrameArpSenderIp, sizeof(sender_ip));
  HDhcpAttackCallback* dhcp = HPTWGlobal::ins().p_dhcp_callback;
  if (dhcp && dhcp->check_arp_sender(sender_ip)) return 0;
  if (!is_ipv4_over_ethernet(frame)) {
    p_capture->count_not_judged(HWinPCapHelper::NotJudged::bad_arp);
    return 0;
  }

  // The target's text equals the main IP's text exactly when the four bytes
  // equal those that the text stands for: only frames to this host are
  // turned into text, and that on the guard's thread.
  if (!b_main_ip_known || std::memcmp(frame + L::kFrameArpTargetIp, uc_main_ip, sizeof(uc_main_ip)) != 0) return 0;
  HThreadTidewell* guard = HPTWGlobal::ins().p_thread_tidewell;
  if (guard) guard->push_arp_body(frame + L::kEthHeaderLen);
  return 0;
}

// A text that MakeArpNode can never write (empty, leading zeros, not an
// address) matches no frame at all.
void HTWPkgCallback::learn_main_ip_bytes() {
  std::string text = str_main_ip.get_str_direct();
  uint32_t address = 0;
  b_main_ip_known = HString(text) == str_main_ip && HIpv4Text::parse(text, address);
  std::memcpy(uc_main_ip, &address, sizeof(uc_main_ip));
}
