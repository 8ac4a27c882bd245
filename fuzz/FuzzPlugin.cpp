#include "fuzz/FuzzPlugin.h"

#include <atomic>
#include <string>
#include <vector>

#include "arpguard/HThreadTidewell.h"
#include "arpwatch/HTWPkgCallback.h"
#include "arpwatch/HTestThread.h"
#include "dhcpguard/HDhcpAttackCallback.h"
#include "frame/HPTWGlobal.h"
#include "fuzz/Finding.h"
#include "fuzz/FuzzHome.h"
#include "host/HDataCenter.h"
#include "host/HEventCenter.h"
#include "host/HNetworkProtocolUtil.h"
#include "host/HNetworkUtil.h"
#include "host/HSysInfoMgr.h"
#include "host/HWinPCapHelper.h"
#include "platform/ArpCommand.h"
#include "platform/IpHelper.h"
#include "platform/MemoryArpTable.h"
#include "platform/WinProcess.h"
#include "platform/WinTime.h"

namespace {

// Starts close to the wrap of the 32-bit counter: every input runs across it
// sooner or later.
std::atomic<DWORD> g_tick{0xFFFF0000u};

constexpr DWORD kPassMs = 200;
// Long enough for every probe to run out of retries (3 periods of 1000 ms).
constexpr DWORD kSettleMs = 5000;

// The table at start-up: the gateway's dynamic entry.
std::vector<MIB_IPNETROW> start_rows() {
  MIB_IPNETROW row{};
  uint32_t address = 0;
  HNetworkProtocolUtil::ParseIPString(FuzzPlugin::kGatewayIp, address);
  HNetworkProtocolUtil::MakeMACArrayFromString(FuzzPlugin::kGatewayMac, row.bPhysAddr);
  row.dwIndex = 1;
  row.dwPhysAddrLen = 6;
  row.dwAddr = address;
  row.dwType = MIB_IPNET_TYPE_DYNAMIC;
  return {row};
}

// Only a checked "arp -s IPV4 MAC" may ever reach a command line.
bool check_launch(const platform::ProcessLaunch& launch) {
  DWORD address = 0;
  BYTE mac[6];
  if (!launch.application.empty() || !platform::parse_arp_set_command(launch.command_line, address, mac) ||
      !launch.hidden) {
    finding("unchecked command line: " + HString(launch.command_line).get_str_direct());
  }
  return true;
}

}  // namespace

FuzzPlugin& FuzzPlugin::ins() {
  static FuzzPlugin* plugin = new FuzzPlugin();
  return *plugin;
}

FuzzPlugin::FuzzPlugin() {
  FuzzHome::ins();
  platform::set_tick_source([] { return g_tick.load(); });
  platform::set_process_launcher(check_launch);
  HWinPCapHelper::instance().set_send_sink([](const unsigned char*, int) {});
  // The core refuses: every report goes through the store's queue and archive.
  HDataCenter::set_core_hook([](const std::vector<ARPSpoofingReport_Local>&) { return false; });

  p_table = new platform::MemoryArpTable(start_rows());
  platform::set_arp_table_backend(p_table);
  HSysInfoMgr::ins().set_virtual(HString(kHostIp), HString(kHostMac));
  HNetwrokAdapterNode adapter;
  adapter.str_name = L"fz0";
  adapter.vt_gateway = {HString(kGatewayIp), HString(kGateway2Ip)};
  HNetworkUtil::set_virtual_adapters({adapter});
  HEventCenter::ins().b_online = 1;

  HPTWGlobal& global = HPTWGlobal::ins();
  begin_input(1, false, true, HString());
  global.audit_report_mgr.init(L"NetSecurity", L"AntiARPSpoofing", L"arc_file\\his_arp_attack", 173, 300);
  p_guard = new HThreadTidewell();
  global.p_thread_tidewell = p_guard;
  // Made before the ARP callback, so that its constructor starts no thread.
  p_probe = new HTestThread(HString(kHostIp), HString(kHostMac));
  global.p_test_thread = p_probe;
  p_arp = new HTWPkgCallback();
  global.p_arp_callback = p_arp;
  p_dhcp = new HDhcpAttackCallback();
  p_dhcp->test_gateway.stop();
  global.p_dhcp_callback = p_dhcp;
}

void FuzzPlugin::begin_input(int32_t arp_mode, bool auto_bind, bool state_matches, const HString& bind_list) {
  AntiARPSpoofing_Local policy;
  policy.strPolicyID = L"fuzz";
  policy.iStateMask = 1;
  policy.iAntiARPSpoofing = arp_mode;
  policy.strBindList = bind_list;
  policy.iAntiDHCPSpoofing = 1;
  policy.iAutoBind = auto_bind ? 1 : 0;
  HEventCenter::ins().i_state = state_matches ? 1 : 2;
  HPTWGlobal::ins().vt_arp.assign(1, policy);
  if (p_guard) {
    p_table->set_rows(start_rows());
    p_guard->BuildMapAndSet(false);
  }
}

void FuzzPlugin::pass() {
  while (p_guard->run_pass()) {
  }
  p_probe->run_pass();
  p_dhcp->test_gateway.run_pass();
}

void FuzzPlugin::advance(DWORD ms) {
  for (DWORD done = 0; done < ms; done += kPassMs) {
    g_tick.fetch_add(kPassMs);
    pass();
  }
}

void FuzzPlugin::settle() {
  pass();
  advance(kSettleMs);
  if (p_guard->queued() != 0) finding("claims left in the guard's queue");
  if (p_probe->pending() != 0) finding("ARP probes still pending after every retry ran out");
  if (p_dhcp->test_gateway.pending() != 0) finding("DHCP gateway probes still pending after every retry ran out");
  FuzzHome::ins().trim_core(4096);
}
