// Windows keeps no table of IPv6 routers learned from advertisements that
// the guard reads here: every call fails. A
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

}  // namespace platform
