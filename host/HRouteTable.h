#pragma once
// The kernel's IPv4 default routes (main table) over rtnetlink: one entry
// per next hop, in the order of the kernel's dump.
#include <cstddef>
#include <cstdint>
#include <vector>

struct HRouteEntry {
  int i_ifindex = 0;
  uint32_t ul_gateway = 0;  // network byte order; 0 when the route has none
  uint32_t ul_priority = 0;
};

class HRouteTable {
 public:
  // 0, or -1 when the table cannot be read.
  static int read_default_routes(std::vector<HRouteEntry>& routes);
  // One buffer of a dump reply: 1 when more follows, 0 at the end of the
  // dump, -1 on an error message or a message whose length does not fit.
  // Routes with malformed attributes are skipped.
  static int parse_dump(const unsigned char* buf, size_t len, uint32_t seq, std::vector<HRouteEntry>& routes);
};
