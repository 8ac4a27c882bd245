// The host's adapters and their gateways: the system's own list (read at
// most once a second, HLiveAdapters.cpp), or the virtual list of a replay.
#include "host/HNetworkUtil.h"

#include <mutex>

#include "host/HLiveAdapters.h"
#include "host/HNetworkProtocolUtil.h"
#include "platform/WinTime.h"

namespace {

// The guard asks for every changed MAC; a burst must not become a burst of
// routing-table dumps or adapter reads.
constexpr DWORD NIC_CACHE_MS = 1000;

typedef std::vector<HNetwrokAdapterNode> AdapterList;

struct NicState {
  std::mutex mtx_nic;
  bool b_virtual = false;
  std::shared_ptr<const AdapterList> sp_virtual = std::make_shared<AdapterList>();
  bool b_cached = false;
  DWORD ul_cached_tick = 0;
  int i_cached_rc = 0;
  unsigned long ul_live_reads = 0;
  std::shared_ptr<const AdapterList> sp_cached = std::make_shared<AdapterList>();
};

NicState& nic() {
  static NicState* state = new NicState;
  return *state;
}

// The list of the moment and the result of reading it; the live list is
// read again once the cache is a second old.
std::shared_ptr<const AdapterList> current_adapters(int& rc) {
  NicState& s = nic();
  std::lock_guard<std::mutex> lock(s.mtx_nic);
  rc = 0;
  if (s.b_virtual) return s.sp_virtual;
  DWORD now = GetTickCount();
  if (!s.b_cached || static_cast<DWORD>(now - s.ul_cached_tick) >= NIC_CACHE_MS) {
    auto fresh = std::make_shared<AdapterList>();
    s.i_cached_rc = read_live_adapters(*fresh);
    s.sp_cached = std::move(fresh);
    ++s.ul_live_reads;
    s.ul_cached_tick = now;
    s.b_cached = true;
  }
  rc = s.i_cached_rc;
  return s.sp_cached;
}

}  // namespace

void add_gateway_once(HNetwrokAdapterNode& adapter, const HString& gateway) {
  for (const HString& known : adapter.vt_gateway) {
    if (known == gateway) return;
  }
  adapter.vt_gateway.push_back(gateway);
}

HString HNetworkUtil::GetMACString(const unsigned char* bytes) {
  return HString(HNetworkProtocolUtil::GetMACString(bytes));
}

int HNetworkUtil::GetNICInfo(std::vector<HNetwrokAdapterNode>& adapters, bool with_gateways) {
  int rc = 0;
  adapters = *current_adapters(rc);
  if (!with_gateways)
    for (HNetwrokAdapterNode& a : adapters) a.vt_gateway.clear();
  return rc;
}

std::shared_ptr<const std::vector<HNetwrokAdapterNode>> HNetworkUtil::GetNICInfoShared() {
  int rc = 0;
  return current_adapters(rc);
}

void HNetworkUtil::set_virtual_adapters(const std::vector<HNetwrokAdapterNode>& adapters) {
  auto list = std::make_shared<AdapterList>(adapters);
  NicState& s = nic();
  std::lock_guard<std::mutex> lock(s.mtx_nic);
  s.b_virtual = true;
  s.sp_virtual = std::move(list);
}

unsigned long HNetworkUtil::live_reads() {
  NicState& s = nic();
  std::lock_guard<std::mutex> lock(s.mtx_nic);
  return s.ul_live_reads;
}
