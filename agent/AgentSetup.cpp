#include "agent/AgentSetup.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

#include "host/HCustConfigMgr.h"
#include "host/HDataCenter.h"
#include "host/HEventCenter.h"
#include "host/HFileUtil.h"
#include "host/HLanMgr.h"
#include "host/HNetworkProtocolUtil.h"
#include "host/HNetworkUtil.h"
#include "host/HSysInfoMgr.h"
#include "platform/IpHelper.h"
#include "platform/Ipv6Table.h"

namespace {

std::vector<MIB_IPNETROW> arp_rows_of(const AgentHost& host) {
  std::vector<MIB_IPNETROW> rows;
  for (const AgentArpRow& entry : host.vt_arp_table) {
    MIB_IPNETROW row{};
    uint32_t address = 0;
    // The config parser has checked both texts already.
    if (!HNetworkProtocolUtil::ParseIPString(entry.str_ip, address)) continue;
    if (!HNetworkProtocolUtil::MakeMACArrayFromString(entry.str_mac, row.bPhysAddr)) continue;
    row.dwIndex = entry.i_index;
    row.dwPhysAddrLen = 6;
    row.dwAddr = address;
    row.dwType = static_cast<DWORD>(entry.i_type);
    rows.push_back(row);
  }
  return rows;
}

std::vector<HNetwrokAdapterNode> adapters_of(const AgentHost& host) {
  std::vector<HNetwrokAdapterNode> adapters;
  for (const AgentAdapter& adapter : host.vt_adapter) {
    HNetwrokAdapterNode node;
    node.str_name = HFileUtil::from_utf8(adapter.str_name);
    for (const std::string& gateway : adapter.vt_gateway) node.vt_gateway.push_back(HString(gateway));
    adapters.push_back(node);
  }
  return adapters;
}

// The parser has checked every text already.
std::vector<platform::Ipv6Router> ipv6_routers_of(const AgentHost& host) {
  std::vector<platform::Ipv6Router> routers;
  for (const AgentIpv6Router& entry : host.vt_ipv6_routers) {
    platform::Ipv6Router router;
    size_t dash = entry.str_router.find('-');
    if (!HIpv6Text::parse(entry.str_router.substr(0, dash), router.address)) continue;
    router.b_has_mac = HNetworkProtocolUtil::MakeMACArrayFromString(entry.str_router.substr(dash + 1), router.mac);
    router.i_ifindex = entry.i_index;
    routers.push_back(router);
  }
  return routers;
}

}  // namespace

void AgentSetup::apply_config(const AgentConfig& config) {
  HDataCenter::GetPolicy()->set_policies(config.vt_policy, config.map_alarm_msg);
  HDataCenter::GetBase()->str_name = config.str_name;
  HDataCenter::set_guard(config.guard);
  HDataCenter::set_events(config.events);
  HDataCenter::set_core_accepts(config.b_core_accepts);
  HEventCenter::ins().b_online = config.b_online ? 1 : 0;
  HEventCenter::ins().i_state = config.i_state;
  HCustConfigMgr::instance().set_auth_802(config.b_auth_802);
  for (const auto& text : config.map_language) HLanMgr::ins().set_text(text.first, text.second);
}

void AgentSetup::install_virtual_host(const AgentHost& host) {
  HSysInfoMgr::ins().set_virtual(HString(host.str_main_ip), HString(host.str_main_mac));
  if (!host.vt_adapter.empty()) HSysInfoMgr::ins().set_interface(HFileUtil::from_utf8(host.vt_adapter[0].str_name));
  HNetworkUtil::set_virtual_adapters(adapters_of(host));
  platform::install_virtual_arp_table(arp_rows_of(host));
  platform::install_virtual_ipv6_table(ipv6_routers_of(host));
}

uint64_t AgentSetup::count_lines(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return 0;
  return static_cast<uint64_t>(std::count(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>(), '\n'));
}
