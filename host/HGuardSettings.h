#pragma once
// The agent's switches for the protections it adds to the plug-in's own:
// the `guard` section of its config. All off unless the config turns them
// on, so that without them the plug-in behaves exactly as it always has.
#include <vector>

#include "host/HString.h"

struct HGuardSettings {
  // The kernel's neighbour events for the gateways are judged as claims.
  bool b_neighbour_watch = false;
  // A spoof confirmed by the probe puts the genuine MAC back into the cache.
  bool b_repair_cache = false;
  // The legitimate DHCP servers: IPv4 texts and MAC texts (lower case, ":");
  // empty: no server is checked against a list.
  std::vector<HString> vt_dhcp_servers;
  // The IPv6 guard: neighbour discovery, router advertisements, DHCPv6.
  // Also on when routers or DHCPv6 servers are listed.
  bool b_ipv6 = false;
  // The host's IPv6 routers, "address-MAC" texts (the MAC lower case, ":");
  // empty: the routers the kernel has at start-up, their MACs as learned.
  std::vector<HString> vt_ipv6_routers;
  // The default routes the kernel installed from a rogue advertisement are
  // removed.
  bool b_ipv6_remove_rogue_routes = false;
  // The legitimate DHCPv6 servers: DUIDs and MACs as hex bytes joined by
  // ":"; empty: no DHCPv6 server is checked.
  std::vector<HString> vt_dhcp6_servers;

  bool ipv6_on() const { return b_ipv6 || !vt_ipv6_routers.empty() || !vt_dhcp6_servers.empty(); }
};
