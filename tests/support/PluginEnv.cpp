#include "tests/support/PluginEnv.h"

#include "arpguard/HArpAttackFilter.h"
#include "arpguard/HThreadTidewell.h"
#include "arpwatch/HTestThread.h"
#include "frame/HPTWGlobal.h"
#include "host/HDataCenter.h"
#include "host/HEventCenter.h"
#include "host/HNetworkUtil.h"
#include "host/HSysInfoMgr.h"
#include "platform/IpHelper.h"

namespace tidewell_test {

namespace {
// The tables stay reachable after their test: a guard's refresher thread may
// still read one, and a replaced backend is no leak.
std::vector<platform::MemoryArpTable*>& kept_tables() {
  static std::vector<platform::MemoryArpTable*>* tables = new std::vector<platform::MemoryArpTable*>();
  return *tables;
}
// Takes an object out of the global state and keeps it reachable.
template <typename T>
void retire(T*& object) {
  static std::vector<const void*>* retired = new std::vector<const void*>();
  if (object) retired->push_back(object);
  object = nullptr;
}
}  // namespace

PluginEnv::PluginEnv(const PolicySetup& setup) : policy(setup) {
  // The objects an earlier test of this program made stay alive (a thread
  // may still use them) but leave the global state.
  HPTWGlobal& global = HPTWGlobal::ins();
  retire(global.p_thread_tidewell);
  retire(global.p_test_thread);
  retire(global.p_arp_callback);
  retire(global.p_dhcp_callback);
  retire(global.p_dhcp_arp_callback);
  retire(global.p_get_sys_arp_table);
  global.flush_reports(2000);  // an earlier test's reports reach its own core
  global.report_gate.reset();
  HArpAttackFilter::ins().reset();
  kept_tables().push_back(p_table);
  if (!setup.host_ip.empty()) {
    platform::set_arp_table_backend(p_table);
    HSysInfoMgr::ins().set_virtual(HString(setup.host_ip), HString(setup.host_mac));
    std::vector<HNetwrokAdapterNode> adapters;
    for (const std::string& gateway : setup.gateways) {
      HNetwrokAdapterNode adapter;
      adapter.str_name = HString("veth" + std::to_string(adapters.size()));
      adapter.vt_gateway.push_back(HString(gateway));
      adapters.push_back(adapter);
    }
    HNetworkUtil::set_virtual_adapters(adapters);
  }
  AntiARPSpoofing_Local record;
  record.strPolicyID = HString(setup.id);
  record.iStateMask = 1;
  record.iAntiARPSpoofing = setup.mode;
  record.iAntiDHCPSpoofing = setup.dhcp;
  record.strBindList = HString(setup.bind_list);
  record.iAutoBind = setup.auto_bind;
  HEventCenter::ins().i_state = 1;  // the agent's state word
  HDataCenter::GetPolicy()->set_policies({record}, {});
  HEventCenter::ins().b_online = 1;
  global.vt_arp.assign(1, record);
  global.audit_report_mgr.init(L"NetSecurity", L"AntiARPSpoofing", L"arc_file\\his_arp_attack", 173, 300);
}

HThreadTidewell& PluginEnv::make_guard() {
  HThreadTidewell* guard = new HThreadTidewell();
  HPTWGlobal::ins().p_thread_tidewell = guard;
  return *guard;
}

HTestThread& PluginEnv::probe() {
  HPTWGlobal& global = HPTWGlobal::ins();
  if (!global.p_test_thread) {
    global.p_test_thread = new HTestThread(HString(policy.host_ip), HString(policy.host_mac));
  }
  return *global.p_test_thread;
}

}  // namespace tidewell_test
