#pragma once
// The DHCP capture callback: judges unicast DHCP offers and owns the
// gateway probe.
#include <cstdint>
#include <vector>

#include "dhcpguard/HTestDhcpGateway.h"
#include "host/HWinPCapHelper.h"

class HDhcpAttackCallback : public HWPCCallback {
 public:
  HDhcpAttackCallback();
  ~HDhcpAttackCallback() override;
  int on_packet(const unsigned char* frame, int len) override;
  // `ip` in network byte order.
  bool check_arp_sender(unsigned long ip);
  // Walks the options area of `length` bytes.
  bool parse_options(const unsigned char* options, int length, std::vector<uint32_t>& routers,
                     unsigned char& msg_type);

  HTestDhcpGateway test_gateway;
};
