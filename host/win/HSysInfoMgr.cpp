// The host's main IPv4 address and MAC on Windows: those of the adapter
// named by set_interface (its name or description), else of the first
// adapter with a gateway; in replay those of the virtual host.
#include "host/HSysInfoMgr.h"

#include <string>

#include "host/HFileUtil.h"
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
  std::vector<NativeAdapter> adapters;
  const NativeAdapter* adapter = read_native_adapters(adapters) == 0 ? main_adapter(adapters, iface) : nullptr;
  if (!adapter || adapter->str_ip.empty() || adapter->str_mac.empty()) {
    ip = HString();
    mac = HString();
    return -1;
  }
  ip = HString(adapter->str_ip);
  mac = HString(adapter->str_mac);
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
