// The main address on Windows: that of the adapter named (by its name or
// description), else of the first adapter with a gateway.
#include "host/HMainAddress.h"

#include <vector>

#include "host/win/NativeAdapters.h"

namespace {

const NativeAdapter* main_adapter(const std::vector<NativeAdapter>& adapters, const std::string& wanted) {
  for (const NativeAdapter& a : adapters) {
    if (!wanted.empty() && (a.str_name == wanted || a.str_description == wanted)) return &a;
    if (wanted.empty() && !a.vt_gateway.empty()) return &a;
  }
  return nullptr;
}

}  // namespace

void read_main_ip_mac(const std::string& iface, std::string& ip, std::string& mac) {
  std::vector<NativeAdapter> adapters;
  if (read_native_adapters(adapters) != 0) return;
  const NativeAdapter* adapter = main_adapter(adapters, iface);
  if (!adapter) return;
  ip = adapter->str_ip;
  mac = adapter->str_mac;
}
