#pragma once
// The host's adapters and their gateways. Live: the default routes of the
// kernel's routing table, per interface (read at most once a second). In
// replay the agent sets a virtual list instead.
#include <memory>
#include <vector>

#include "host/HString.h"

struct HNetwrokAdapterNode {
  HString str_name;
  std::vector<HString> vt_gateway;  // gateway IPv4 texts
};

class HNetworkUtil {
 public:
  static HString GetMACString(const unsigned char* bytes);
  // 0, or -1 when the routing table cannot be read.
  static int GetNICInfo(std::vector<HNetwrokAdapterNode>& adapters, bool with_gateways);
  // What GetNICInfo(adapters, true) fills in, shared instead of copied: the
  // guard looks at the gateways for every changed MAC. Never null.
  static std::shared_ptr<const std::vector<HNetwrokAdapterNode>> GetNICInfoShared();

  static void set_virtual_adapters(const std::vector<HNetwrokAdapterNode>& adapters);
  // How often the live table was read so far (the one-second cache at work).
  static unsigned long live_reads();
};
