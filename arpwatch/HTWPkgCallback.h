#pragma once
// The ARP capture callback: drops probe frames, offers every sender to the
// DHCP gateway probe and queues the frames addressed to this host for the
// guard. Frames that are no ARP request or reply for IPv4 over Ethernet never
// reach the guard: the kernel ignores them; they are counted with the
// capture helper.
#include <atomic>
#include <cstdint>

#include "host/HString.h"
#include "host/HWinPCapHelper.h"

class HTWPkgCallback : public HWPCCallback {
 public:
  HTWPkgCallback();
  ~HTWPkgCallback() override = default;
  int on_packet(const unsigned char* frame, int len) override;

  // Frames too short to hold an ARP body (under 42 bytes), dropped unread.
  uint64_t dropped_short() const { return ull_dropped_short.load(std::memory_order_relaxed); }

  HString str_main_ip;
  HString str_main_mac;

 private:
  void learn_main_ip_bytes();

  // str_main_ip as the four bytes of a frame, when it is an address text.
  bool b_main_ip_known = false;
  unsigned char uc_main_ip[4] = {};
  std::atomic<uint64_t> ull_dropped_short{0};
  HWinPCapHelper* p_capture = &HWinPCapHelper::instance();  // counts what is not judged
};
