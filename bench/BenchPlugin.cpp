#include "bench/BenchPlugin.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "frame/Tidewell.h"
#include "host/AntiARPSpoofing_Local.h"
#include "host/HDataCenter.h"
#include "host/HEnvironment.h"
#include "host/HEventCenter.h"
#include "host/HNetworkUtil.h"
#include "host/HSysInfoMgr.h"
#include "platform/IpHelper.h"

BenchPlugin::BenchPlugin(const BenchSegment& seg, int mode) {
  char templ[] = "/tmp/tidewell-bench-XXXXXX";
  if (!mkdtemp(templ)) throw std::runtime_error("mkdtemp");
  str_home = templ;
  HEnvironment::set_home(HString(str_home));
  HDataCenter::set_core_dir(HString(str_home + "/core"));

  const std::string gw_ip = BenchSegment::ip_text(seg.gateway().ip);
  const std::string gw_mac = BenchSegment::mac_text(seg.gateway().mac);
  HSysInfoMgr::ins().set_virtual(HString(BenchSegment::ip_text(seg.guarded().ip)),
                                 HString(BenchSegment::mac_text(seg.guarded().mac)));
  HNetwrokAdapterNode adapter;
  adapter.str_name = L"eth0";
  adapter.vt_gateway.push_back(HString(gw_ip));
  HNetworkUtil::set_virtual_adapters({adapter});
  MIB_IPNETROW row{};
  row.dwIndex = 1;
  row.dwPhysAddrLen = 6;
  for (int i = 0; i < 6; ++i) row.bPhysAddr[i] = seg.gateway().mac[i];
  uint32_t gw = seg.gateway().ip;
  unsigned char gw_bytes[4] = {static_cast<unsigned char>(gw >> 24), static_cast<unsigned char>(gw >> 16),
                               static_cast<unsigned char>(gw >> 8), static_cast<unsigned char>(gw)};
  std::memcpy(&row.dwAddr, gw_bytes, 4);
  row.dwType = MIB_IPNET_TYPE_DYNAMIC;
  platform::install_virtual_arp_table({row});

  AntiARPSpoofing_Local policy;
  policy.strPolicyID = L"bench";
  policy.iStateMask = 1;
  policy.iAntiARPSpoofing = mode;
  policy.strBindList = HString(gw_ip + "-" + gw_mac);
  policy.iAntiDHCPSpoofing = 1;
  policy.iAutoBind = mode == 2 ? 1 : 0;
  HDataCenter::GetPolicy()->set_policies({policy}, {});
  HEventCenter::ins().b_online = 1;
  // The state word shares no bit with the policy: probes answered by the old
  // MAC end without a report, so no benchmark waits for the core.
  HEventCenter::ins().i_state = 0;
  wchar_t name[64] = {0};
  wchar_t name2[64] = {0};
  orvoInit(name, name2, 0);
}

BenchPlugin::~BenchPlugin() {
  std::error_code ignored;
  std::filesystem::remove_all(str_home, ignored);
}
