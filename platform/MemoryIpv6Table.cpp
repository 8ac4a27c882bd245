#include "platform/MemoryIpv6Table.h"

#include <algorithm>
#include <cstring>

namespace platform {

namespace {
Ipv6Table* selected = nullptr;
}  // namespace

Ipv6Table& ipv6_table() { return selected ? *selected : kernel_ipv6_table(); }

void set_ipv6_table(Ipv6Table* table) { selected = table; }

void install_virtual_ipv6_table(const std::vector<Ipv6Router>& routers) {
  // Lives as long as the process: the guard may read it at exit.
  static MemoryIpv6Table* table = new MemoryIpv6Table();
  table->set_routers(routers);
  set_ipv6_table(table);
}

int MemoryIpv6Table::read_routers(std::vector<Ipv6Router>& routers) {
  std::lock_guard<std::mutex> lock(mtx_rows);
  routers.clear();
  for (const Ipv6Router& row : vt_neighbours) {
    if (std::find(vt_routes.begin(), vt_routes.end(), row.address) != vt_routes.end()) routers.push_back(row);
  }
  return 0;
}

int MemoryIpv6Table::bind(int ifindex, const HIpv6Address& address, const unsigned char* mac) {
  std::lock_guard<std::mutex> lock(mtx_rows);
  auto it = std::find_if(vt_neighbours.begin(), vt_neighbours.end(), [&](const Ipv6Router& row) {
    return row.address == address && row.i_ifindex == ifindex;
  });
  if (it == vt_neighbours.end()) {
    vt_neighbours.emplace_back();
    it = vt_neighbours.end() - 1;
    it->address = address;
    it->i_ifindex = ifindex;
  }
  std::memcpy(it->mac, mac, sizeof(it->mac));
  it->b_has_mac = true;
  it->b_permanent = true;
  return 0;
}

int MemoryIpv6Table::remove_default_routes(const HIpv6Address& gateway) {
  std::lock_guard<std::mutex> lock(mtx_rows);
  auto end = std::remove(vt_routes.begin(), vt_routes.end(), gateway);
  int removed = static_cast<int>(vt_routes.end() - end);
  vt_routes.erase(end, vt_routes.end());
  return removed;
}

void MemoryIpv6Table::set_routers(const std::vector<Ipv6Router>& routers) {
  std::lock_guard<std::mutex> lock(mtx_rows);
  vt_neighbours = routers;
  vt_routes.clear();
  for (const Ipv6Router& row : routers) vt_routes.push_back(row.address);
}

std::vector<Ipv6Router> MemoryIpv6Table::neighbours() const {
  std::lock_guard<std::mutex> lock(mtx_rows);
  return vt_neighbours;
}

std::vector<HIpv6Address> MemoryIpv6Table::routes() const {
  std::lock_guard<std::mutex> lock(mtx_rows);
  return vt_routes;
}

}  // namespace platform
