#pragma once
// The IPv6 guard's capture callback (ethertype 0x86DD): neighbour
// advertisements and solicitations (136, 135) and router advertisements
// (134) as the host takes them (hop limit 255, code 0), handed to the
// router judgement; DHCPv6 answers (UDP 547 -> 546) checked against the
// listed servers. A packet that does not fit is counted and dropped.
#include <memory>

#include "host/HWinPCapHelper.h"
#include "ipv6guard/HDhcp6Servers.h"
#include "ipv6guard/HIpv6Routers.h"

class HIpv6Callback : public HWPCCallback {
 public:
  static constexpr unsigned char kRouterAdvert = 134;
  static constexpr unsigned char kNeighbourSolicit = 135;
  static constexpr unsigned char kNeighbourAdvert = 136;
  // At most this many options of one message are looked at.
  static constexpr int kMaxOptions = 64;

  HIpv6Callback(HIpv6Routers& routers, const HDhcp6Servers& servers);
  int on_packet(const unsigned char* frame, int len) override;

 private:
  // False when the message does not fit (the packet is then malformed).
  bool on_icmp(const HIpv6Packet& packet);
  bool on_advert(const HIpv6Packet& packet);

  HIpv6Routers* p_routers;
  HDhcp6Servers servers;
};
