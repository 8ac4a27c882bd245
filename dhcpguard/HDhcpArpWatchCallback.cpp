#include "dhcpguard/HDhcpArpWatchCallback.h"

#include <cstring>

#include "dhcpguard/HDhcpAttackCallback.h"
#include "frame/HProbeMarker.h"
#include "wire/HWireLayout.h"

HDhcpArpWatchCallback::HDhcpArpWatchCallback(HDhcpAttackCallback* p_dhcp) : p_dhcp_callback(p_dhcp) {}

int HDhcpArpWatchCallback::on_packet(const unsigned char* frame, int len) {
  if (!frame || len < HWireLayout::kArpFrameLen) {
    ull_dropped_short.fetch_add(1, std::memory_order_relaxed);
    return 0;
  }
  if (HProbeMarker::marks(frame, len)) {
    ull_dropped_probe.fetch_add(1, std::memory_order_relaxed);
    return 0;
  }
  uint32_t sender_ip = 0;  // network byte order, as on the wire
  std::memcpy(&sender_ip, frame + HWireLayout::kFrameArpSenderIp, sizeof(sender_ip));
  if (p_dhcp_callback) p_dhcp_callback->check_arp_sender(sender_ip);
  return 0;
}
