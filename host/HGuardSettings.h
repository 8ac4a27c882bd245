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
};
