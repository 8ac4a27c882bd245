// Windows keeps no table of IPv6 routers learned from advertisements that
// the guard reads here: every call fails, and there are no events. A
// replay's in-memory table works as on Linux.
#include <cerrno>

#include "platform/Ipv6Table.h"

namespace platform {

namespace {

class NoIpv6Table : public Ipv6Table {
 public:
  int read_routers(std::vector<Ipv6Router>& routers) override {
    routers.clear();
    return -1;
  }
  int bind(int, const HIpv6Address&, const unsigned char*) override { return -1; }
  int remove_default_routes(const HIpv6Address&) override { return -1; }
};

}  // namespace

Ipv6Table& kernel_ipv6_table() {
  static NoIpv6Table table;
  return table;
}

Ipv6NeighbourEvents::~Ipv6NeighbourEvents() = default;  // never opened here

int Ipv6NeighbourEvents::open(int) { return ENOSYS; }

Ipv6NeighbourEvents::Wait Ipv6NeighbourEvents::wait(std::vector<Ipv6Router>&) { return Wait::kError; }

}  // namespace platform
