#pragma once
// The plug-in's view of what it has learned, for the agent's state file:
// the host's gateways with the MAC the guard holds for each (bound or
// learned), and the probes of both kinds still waiting. Read under the
// objects' own locks, on the agent's thread that asks.
#include "host/HPluginView.h"

class HStateView {
 public:
  static HPluginView collect();
};
