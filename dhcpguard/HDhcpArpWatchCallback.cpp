#include "dhcpguard/HDhcpArpWatchCallback.h"

#include <cstring>

#include "arpwatch/HTWPkgCallback.h"
#include "dhcpguard/HDhcpAttackCallback.h"

namespace {
constexpr int kArpFrameLen = 42;  // Ethernet header and ARP body, no padding
constexpr int kSenderIpOffset = 28;
}  // namespace

HDhcpArpWatchCallback::HDhcpArpWatchCallback(HDhcpAttackCallback* p_dhcp) : p_dhcp_callback(p_dhcp) {}

int HDhcpArpWatchCallback::on_packet(const unsigned char* frame, int len) {
  if (!frame || len < kArpFrameLen) {
    ull_dropped_short.fetch_add(1, std::memory_order_relaxed);
    return 0;
  }
  if (len >= kProbeMarkerOffset + kProbeMarkerLen &&
      std::memcmp(frame + kProbeMarkerOffset, kProbeMarker, kProbeMarkerLen) == 0) {
    ull_dropped_probe.fetch_add(1, std::memory_order_relaxed);
    return 0;
  }
  uint32_t sender_ip = 0;  // network byte order, as on the wire
  std::memcpy(&sender_ip, frame + kSenderIpOffset, sizeof(sender_ip));
  if (p_dhcp_callback) p_dhcp_callback->check_arp_sender(sender_ip);
  return 0;
}
