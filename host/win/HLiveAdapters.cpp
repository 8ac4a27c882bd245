// The host's adapters on Windows: IP Helper's adapter list.
#include "host/HLiveAdapters.h"

#include "host/HFileUtil.h"
#include "host/win/NativeAdapters.h"

int read_live_adapters(std::vector<HNetwrokAdapterNode>& adapters) {
  adapters.clear();
  std::vector<NativeAdapter> list;
  if (read_native_adapters(list) != 0) return -1;
  for (const NativeAdapter& a : list) {
    HNetwrokAdapterNode node{HFileUtil::from_utf8(a.str_name), {}};
    for (const std::string& g : a.vt_gateway) add_gateway_once(node, HString(g));
    adapters.push_back(node);
  }
  return 0;
}
