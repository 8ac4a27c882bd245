#pragma once
// The DHCP capture callback: judges unicast DHCP offers and owns the
// gateway probe.
#include <atomic>
#include <cstdint>
#include <vector>

#include "dhcpguard/HTestDhcpGateway.h"
#include "host/HWinPCapHelper.h"

class HDhcpAttackCallback : public HWPCCallback {
 public:
  // The DHCP message starts behind 20 bytes of IPv4 and 8 of UDP header;
  // its options behind the 236-byte fixed part and the magic cookie.
  static constexpr int kDhcpOffset = 42;
  static constexpr int kOptionsOffset = kDhcpOffset + 236 + 4;
  // At most this many options (pad bytes included) are looked at.
  static constexpr int kMaxOptionSteps = 255;

  HDhcpAttackCallback();
  ~HDhcpAttackCallback() override;
  int on_packet(const unsigned char* frame, int len) override;
  // `ip` in network byte order.
  bool check_arp_sender(unsigned long ip);
  // Walks the options area of `length` bytes. True when it stopped after
  // finding both the router and the message type option. An option that
  // runs past the area makes the whole area untrusted: the routers appended
  // by this walk are taken back and the message type is set to 0, so the
  // frame is not taken for an offer.
  bool parse_options(const unsigned char* options, int length, std::vector<uint32_t>& routers,
                     unsigned char& msg_type);

  // IPv4 frames too short to hold a DHCP message with options (every IPv4
  // frame comes here, DHCP or not), and replies whose options ran past the
  // end of the frame.
  uint64_t dropped_short() const { return ull_dropped_short.load(); }
  uint64_t dropped_truncated() const { return ull_dropped_truncated.load(); }

  HTestDhcpGateway test_gateway;

 private:
  enum class OptionWalk { kStopped, kBothFound, kTruncated };
  OptionWalk walk_options(const unsigned char* options, int length, std::vector<uint32_t>& routers,
                          unsigned char& msg_type);
  void judge_offer(const unsigned char* frame, int len, const std::vector<uint32_t>& routers);

  std::atomic<uint64_t> ull_dropped_short{0};
  std::atomic<uint64_t> ull_dropped_truncated{0};
  HIEUtil::ThreadControl tc_gateway;  // the probe's thread, joined on destruction
};
