// The host's adapters on Linux: the interfaces by index, with the default
// routes of the kernel's routing table.
#include "host/HLiveAdapters.h"

#include <map>
#include <net/if.h>

#include "host/HFileUtil.h"
#include "host/HNetworkProtocolUtil.h"
#include "host/HRouteTable.h"

int read_live_adapters(std::vector<HNetwrokAdapterNode>& adapters) {
  adapters.clear();
  std::map<int, size_t> by_index;
  struct if_nameindex* list = ::if_nameindex();
  for (struct if_nameindex* p = list; p && p->if_index != 0 && p->if_name; ++p) {
    by_index[static_cast<int>(p->if_index)] = adapters.size();
    adapters.push_back(HNetwrokAdapterNode{HFileUtil::from_utf8(p->if_name), {}});
  }
  if (list) ::if_freenameindex(list);
  std::vector<HRouteEntry> routes;
  if (HRouteTable::read_default_routes(routes) != 0) return -1;
  for (const HRouteEntry& r : routes) {
    auto it = by_index.find(r.i_ifindex);
    if (it == by_index.end() || r.ul_gateway == 0) continue;
    add_gateway_once(adapters[it->second], HString(HNetworkProtocolUtil::GetIPString(r.ul_gateway, true)));
  }
  return 0;
}
