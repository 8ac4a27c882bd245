// The main address on Linux: the interface's addresses from getifaddrs; with
// no interface named, that of the IPv4 default route with the lowest metric.
#include "host/HMainAddress.h"

#include <cstring>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <vector>

#include "host/HNetworkProtocolUtil.h"
#include "host/HRouteTable.h"

namespace {

// The interface of the IPv4 default route with the lowest metric, or "".
std::string default_route_interface() {
  std::vector<HRouteEntry> routes;
  if (HRouteTable::read_default_routes(routes) != 0 || routes.empty()) return std::string();
  const HRouteEntry* best = &routes[0];
  for (const HRouteEntry& r : routes)
    if (r.ul_priority < best->ul_priority) best = &r;
  char name[IF_NAMESIZE];
  return ::if_indextoname(static_cast<unsigned>(best->i_ifindex), name) ? std::string(name) : std::string();
}

void read_address(const struct ifaddrs* ifa, std::string& ip, std::string& mac) {
  if (!ifa->ifa_addr) return;
  if (ifa->ifa_addr->sa_family == AF_INET && ip.empty()) {
    struct sockaddr_in in;
    std::memcpy(&in, ifa->ifa_addr, sizeof(in));
    ip = HNetworkProtocolUtil::GetIPString(in.sin_addr.s_addr, true);
  } else if (ifa->ifa_addr->sa_family == AF_PACKET && mac.empty()) {
    struct sockaddr_ll ll;
    std::memcpy(&ll, ifa->ifa_addr, sizeof(ll));
    if (ll.sll_halen == 6) mac = HNetworkProtocolUtil::GetMACString(ll.sll_addr);
  }
}

}  // namespace

void read_main_ip_mac(const std::string& wanted, std::string& ip, std::string& mac) {
  std::string iface = wanted.empty() ? default_route_interface() : wanted;
  struct ifaddrs* list = nullptr;
  if (iface.empty() || ::getifaddrs(&list) != 0) return;
  for (const struct ifaddrs* p = list; p; p = p->ifa_next)
    if (p->ifa_name && iface == p->ifa_name) read_address(p, ip, mac);
  ::freeifaddrs(list);
}
