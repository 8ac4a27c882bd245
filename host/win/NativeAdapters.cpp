#include "host/win/NativeAdapters.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <memory>

#include "host/HNetworkProtocolUtil.h"

namespace {

// IP Helper writes "0.0.0.0" for an adapter without an address or gateway.
bool is_address(const char* text) { return text && text[0] && std::string(text) != "0.0.0.0"; }

NativeAdapter adapter_of(const IP_ADAPTER_INFO& info) {
  NativeAdapter adapter;
  adapter.str_name = info.AdapterName;
  adapter.str_description = info.Description;
  if (is_address(info.IpAddressList.IpAddress.String)) adapter.str_ip = info.IpAddressList.IpAddress.String;
  if (info.AddressLength == 6) adapter.str_mac = HNetworkProtocolUtil::GetMACString(info.Address);
  for (const IP_ADDR_STRING* g = &info.GatewayList; g; g = g->Next) {
    if (is_address(g->IpAddress.String)) adapter.vt_gateway.push_back(g->IpAddress.String);
  }
  return adapter;
}

}  // namespace

int read_native_adapters(std::vector<NativeAdapter>& adapters) {
  adapters.clear();
  ULONG size = 0;
  ULONG ret = ::GetAdaptersInfo(nullptr, &size);
  if (ret == ERROR_NO_DATA) return 0;
  // The list may grow between the size query and the read.
  for (int attempt = 0; attempt < 4 && ret == ERROR_BUFFER_OVERFLOW; ++attempt) {
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[size]);
    if (!buffer) return -1;
    IP_ADAPTER_INFO* list = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.get());
    ret = ::GetAdaptersInfo(list, &size);
    if (ret != NO_ERROR) continue;
    for (const IP_ADAPTER_INFO* info = list; info; info = info->Next) adapters.push_back(adapter_of(*info));
    return 0;
  }
  return ret == ERROR_NO_DATA ? 0 : -1;
}
