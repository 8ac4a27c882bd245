#pragma once
// The host's IPv6 default routers as the kernel knows them, and the two
// changes the IPv6 guard makes: a router's neighbour entry bound to a MAC
// (NUD_PERMANENT) and a rogue router's default route removed. On Linux
// over rtnetlink (NetlinkIpv6.cpp); a replay and the tests hold them in
// memory (MemoryIpv6Table); Windows has no such table here and every call
// fails.
#include <cstdint>
#include <vector>

#include "wire/HIpv6Address.h"

namespace platform {

class NetlinkClient;

struct Ipv6Router {
  HIpv6Address address{};  // the gateway, as a rule link-local
  int i_ifindex = 0;
  // The neighbour entry of the address: a MAC when it holds one.
  bool b_has_mac = false;
  unsigned char mac[6] = {};
  bool b_permanent = false;
  // An entry in a table of neighbours that is gone (an event's deletion).
  bool b_deleted = false;
};

class Ipv6Table {
 public:
  virtual ~Ipv6Table() = default;
  // The gateways of the default routes learned from router advertisements
  // (proto ra), each with its neighbour entry where it has one. 0 or -1.
  virtual int read_routers(std::vector<Ipv6Router>& routers) = 0;
  // Creates or replaces the neighbour entry of `address` on `ifindex` as a
  // permanent one holding `mac`. 0 or -1.
  virtual int bind(int ifindex, const HIpv6Address& address, const unsigned char* mac) = 0;
  // Removes the default routes learned from advertisements via `gateway`:
  // how many, or -1.
  virtual int remove_default_routes(const HIpv6Address& gateway) = 0;
};

// The table the guard uses: the kernel's unless another was set (null
// restores it). The table must outlive its use.
Ipv6Table& ipv6_table();
void set_ipv6_table(Ipv6Table* table);
Ipv6Table& kernel_ipv6_table();

// Replay: an in-memory table holding `routers`, each with its default
// route, becomes the table; nothing on the machine changes.
void install_virtual_ipv6_table(const std::vector<Ipv6Router>& routers);

}  // namespace platform
