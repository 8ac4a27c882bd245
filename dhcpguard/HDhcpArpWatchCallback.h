#pragma once
// With DHCP protection on and ARP protection off, the ARP callback is not
// registered and the gateway probe would never hear an answer: this small
// ARP callback takes its place for the probe alone. It hands the sender of
// every ARP frame to the DHCP callback and passes nothing on to the guard.
#include <atomic>
#include <cstdint>

#include "host/HWinPCapHelper.h"

class HDhcpAttackCallback;

class HDhcpArpWatchCallback : public HWPCCallback {
 public:
  // Not owned; it lives as long as the plug-in.
  explicit HDhcpArpWatchCallback(HDhcpAttackCallback* p_dhcp);
  int on_packet(const unsigned char* frame, int len) override;

  // Frames too short for an ARP body, and probe frames.
  uint64_t dropped_short() const { return ull_dropped_short.load(); }
  uint64_t dropped_probe() const { return ull_dropped_probe.load(); }

 private:
  HDhcpAttackCallback* p_dhcp_callback;
  std::atomic<uint64_t> ull_dropped_short{0};
  std::atomic<uint64_t> ull_dropped_probe{0};
};
