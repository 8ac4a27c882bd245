#pragma once
// The host's adapters and their default gateways as the system lists them:
// the one part of HNetworkUtil that each system reads its own way.
#include <vector>

#include "host/HNetworkUtil.h"

// 0, or -1 when the system's table cannot be read.
int read_live_adapters(std::vector<HNetwrokAdapterNode>& adapters);
// Adds `gateway` to the adapter's list unless it is there already.
void add_gateway_once(HNetwrokAdapterNode& adapter, const HString& gateway);
