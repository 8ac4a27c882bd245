#pragma once
// The DHCP capture callback: judges unicast DHCP offers and owns the
// gateway probe.
#include <cstdint>
#include <vector>

#include "dhcpguard/HDhcpMessage.h"
#include "dhcpguard/HTestDhcpGateway.h"
#include "host/HWinPCapHelper.h"

class HDhcpAttackCallback : public HWPCCallback {
 public:
  static constexpr int kOptionsOffset = HDhcpMessage::kOptionsOffset;
  static constexpr int kMaxOptionSteps = HDhcpMessage::kMaxOptionSteps;

  HDhcpAttackCallback();
  ~HDhcpAttackCallback() override;
  // Judges only UDP datagrams from port 67 to port 68, found behind the IPv4
  // header's own length; every other frame is counted with the capture
  // helper as not DHCP, or as malformed when its headers do not fit the
  // frame, it is a fragment, or a reply's options run past the datagram.
  int on_packet(const unsigned char* frame, int len) override;
  // `ip` in network byte order.
  bool check_arp_sender(unsigned long ip);
  // Walks the options area of `length` bytes and stops after the second of
  // the router and message type options that it meets (a repeated one
  // counts again). True when it stopped so. An option that
  // runs past the area makes the whole area untrusted: the routers appended
  // by this walk are taken back and the message type is set to 0, so the
  // frame is not taken for an offer.
  bool parse_options(const unsigned char* options, int length, std::vector<uint32_t>& routers,
                     unsigned char& msg_type);

  HTestDhcpGateway test_gateway;

 private:
  HDhcpMessage::Walk walk_options(const unsigned char* options, int length, std::vector<uint32_t>& routers,
                                  unsigned char& msg_type);
  void judge_offer(const unsigned char* frame, const HDhcpMessage& message, const std::vector<uint32_t>& routers);

  HIEUtil::ThreadControl tc_gateway;  // the probe's thread, joined on destruction
  HWinPCapHelper* p_capture = &HWinPCapHelper::instance();  // counts what is not judged
};
