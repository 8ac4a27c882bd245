#include "host/HSysInfoMgr.h"

#include <cstring>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>

#include "host/HFileUtil.h"
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

HSysInfoMgr& HSysInfoMgr::ins() {
  static HSysInfoMgr* mgr = new HSysInfoMgr;
  return *mgr;
}

int HSysInfoMgr::get_main_ip_mac(HString& ip, HString& mac) {
  std::string iface;
  {
    std::lock_guard<std::mutex> lock(mtx_info);
    if (b_virtual) {
      ip = str_ip;
      mac = str_mac;
      return (ip.empty() || mac.empty()) ? -1 : 0;
    }
    iface = HFileUtil::utf8(str_iface);
  }
  if (iface.empty()) iface = default_route_interface();
  std::string ip_text;
  std::string mac_text;
  struct ifaddrs* list = nullptr;
  if (!iface.empty() && ::getifaddrs(&list) == 0) {
    for (const struct ifaddrs* p = list; p; p = p->ifa_next)
      if (p->ifa_name && iface == p->ifa_name) read_address(p, ip_text, mac_text);
    ::freeifaddrs(list);
  }
  if (ip_text.empty() || mac_text.empty()) {
    ip = HString();
    mac = HString();
    return -1;
  }
  ip = HString(ip_text);
  mac = HString(mac_text);
  return 0;
}

void HSysInfoMgr::set_interface(const HString& name) {
  std::lock_guard<std::mutex> lock(mtx_info);
  str_iface = name;
}

void HSysInfoMgr::set_virtual(const HString& ip, const HString& mac) {
  std::lock_guard<std::mutex> lock(mtx_info);
  b_virtual = true;
  str_ip = ip;
  str_mac = mac;
}
