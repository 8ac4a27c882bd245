#pragma once
// The IPv6 router table held in memory: the replay's and the tests'. Each
// router has its default route until it is removed.
#include <mutex>
#include <vector>

#include "platform/Ipv6Table.h"

namespace platform {

class MemoryIpv6Table : public Ipv6Table {
 public:
  int read_routers(std::vector<Ipv6Router>& routers) override;
  int bind(int ifindex, const HIpv6Address& address, const unsigned char* mac) override;
  int remove_default_routes(const HIpv6Address& gateway) override;

  void set_routers(const std::vector<Ipv6Router>& routers);
  // Every neighbour entry, routed or not.
  std::vector<Ipv6Router> neighbours() const;
  // The gateways that still have a default route.
  std::vector<HIpv6Address> routes() const;

 private:
  mutable std::mutex mtx_rows;
  std::vector<Ipv6Router> vt_neighbours;
  std::vector<HIpv6Address> vt_routes;
};

}  // namespace platform
