#include "neighwatch/HNeighbourWatch.h"

#include <memory>

#include "arpguard/HThreadTidewell.h"
#include "frame/HPTWGlobal.h"
#include "host/HFileLog.h"
#include "host/HNetworkProtocolUtil.h"
#include "host/HNetworkUtil.h"
#include "host/HSysInfoMgr.h"
#include "host/HWinPCapHelper.h"
#include "platform/NeighbourEvents.h"
#include "platform/WinTime.h"

namespace {

const wchar_t kSource[] = L".\\HNeighbourWatch";
constexpr unsigned char kReply = 2;
constexpr DWORD kMacLen = 6;

int gateway_count() {
  std::shared_ptr<const std::vector<HNetwrokAdapterNode>> adapters = HNetworkUtil::GetNICInfoShared();
  size_t count = 0;
  for (const HNetwrokAdapterNode& adapter : *adapters) count += adapter.vt_gateway.size();
  return static_cast<int>(count);
}

}  // namespace

void HNeighbourWatch::start_watch() {
  HThreadTidewell* guard = HPTWGlobal::ins().p_thread_tidewell;
  HWinPCapHelper& capture = HWinPCapHelper::instance();
  // Without the ARP callback the guard judges no claims at all.
  if (!guard || !capture.b_arp) return;
  if (!capture.is_live()) {
    HFileLog::ins().log(2, kSource, __LINE__, L"neighbour watch not started: a replay raises no kernel events");
    return;
  }
  HString main_ip;
  HString main_mac;
  HSysInfoMgr::ins().get_main_ip_mac(main_ip, main_mac);
  HNeighbourWatch* watch = new HNeighbourWatch(*guard, main_ip, main_mac);
  // Never freed, as the plug-in's other threads: it runs until the process ends.
  watch->__incRef();
  try {
    watch->start(0).detach();
  } catch (const HIEUtil::NullHandleException&) {
    HFileLog::ins().log(1, kSource, __LINE__, L"HNeighbourWatch start failed");
  }
}

HNeighbourWatch::HNeighbourWatch(HThreadTidewell& guard, const HString& main_ip, const HString& main_mac)
    : p_guard(&guard), str_main_ip(main_ip.get_str_direct()), str_main_mac(main_mac.get_str_direct()) {}

void HNeighbourWatch::run() {
  platform::NeighbourEvents events;
  if (int error = events.open(kWaitMs)) {
    HFileLog::ins().log(1, kSource, __LINE__, L"neighbour watch: no kernel events (errno %d)", error);
    return;
  }
  HFileLog::ins().log(2, kSource, __LINE__, L"neighbour watch started, %d watched addresses", gateway_count());
  std::vector<MIB_IPNETROW> rows;
  while (!b_stop) {
    rows.clear();
    platform::NeighbourEvents::Wait result = events.wait(rows);
    if (result == platform::NeighbourEvents::Wait::kError) {
      HFileLog::ins().log(1, kSource, __LINE__, L"neighbour watch: the kernel's events failed, watch ended");
      return;
    }
    // Rows read before a datagram's fault are still the kernel's.
    if (result == platform::NeighbourEvents::Wait::kLost) note_lost();
    take_rows(rows);
  }
}

bool HNeighbourWatch::claim_of(const MIB_IPNETROW& row, HArpNode& claim) {
  std::string ip = HNetworkProtocolUtil::GetIPString(row.dwAddr, true);
  if (!p_guard->is_gateway_ip(HString(ip))) return false;
  if (row.dwType != MIB_IPNET_TYPE_DYNAMIC || row.dwPhysAddrLen != kMacLen) {
    // Gone, unresolved or static: whatever it holds next is a change.
    if (row.dwType != MIB_IPNET_TYPE_DYNAMIC) map_last_mac.erase(ip);
    return false;
  }
  std::string mac = HNetworkProtocolUtil::GetMACString(row.bPhysAddr);
  std::string& last = map_last_mac[ip];
  if (last == mac) return false;
  last = mac;
  HString learned;
  if (p_guard->learned_mac(HString(ip), learned) && learned == HString(mac)) return false;
  claim = HArpNode{kReply, ip, mac, str_main_ip, str_main_mac};
  return true;
}

void HNeighbourWatch::take_rows(const std::vector<MIB_IPNETROW>& rows) {
  bool pushed = false;
  HArpNode claim;
  for (const MIB_IPNETROW& row : rows) {
    if (!claim_of(row, claim)) continue;
    HFileLog::ins().log(2, kSource, __LINE__, L"neighbour entry of %S now %S: judged as a claim",
                        claim.sender_ip.c_str(), claim.sender_mac.c_str());
    p_guard->push_arp_node(claim);
    ull_claims.fetch_add(1);
    pushed = true;
  }
  if (pushed) p_guard->wake();
}

void HNeighbourWatch::note_lost() {
  uint64_t total = 0;
  if (!lost_events.count(total)) return;
  HFileLog::ins().log(1, kSource, __LINE__, L"neighbour watch: the kernel dropped events, %llu times so far",
                      static_cast<unsigned long long>(total));
}
