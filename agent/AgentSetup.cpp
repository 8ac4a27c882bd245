#include "agent/AgentSetup.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

#include "host/HCustConfigMgr.h"
#include "host/HDataCenter.h"
#include "host/HEventCenter.h"
#include "host/HFileLog.h"
#include "host/HFileUtil.h"
#include "host/HLanMgr.h"
#include "host/HNetworkProtocolUtil.h"
#include "host/HNetworkUtil.h"
#include "host/HSysInfoMgr.h"
#include "host/HWinPCapHelper.h"
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

int AgentSetup::start_plugin(PluginModule& plugin, const std::string& path, const wchar_t* source, std::string& error) {
  auto log = [source](int level, int line, const std::string& text) {
    HFileLog::ins().log(HFileLog::get(level, source, line) << HFileUtil::from_utf8(text));
  };
  if (plugin.load(path, error) != 0) {
    log(1, __LINE__, error);
    return -1;
  }
  log(2, __LINE__, "plug-in loaded: " + path);
  wchar_t name_buf[64] = {0};
  wchar_t name_buf2[64] = {0};
  int ret = plugin.p_init(name_buf, name_buf2, 0);
  name_buf[63] = name_buf2[63] = L'\0';
  log(2, __LINE__, "orvoInit ret " + std::to_string(ret) + ", name " + HFileUtil::utf8(HString(name_buf)));
  ret = plugin.p_init2();
  log(2, __LINE__, "orvoInit2 ret " + std::to_string(ret));
  HWinPCapHelper& helper = HWinPCapHelper::instance();
  if (!helper.is_started() && !helper.last_error().empty()) {
    log(1, __LINE__, helper.last_error());
    error = "capture did not start: " + helper.last_error();
    return -1;
  }
  if (!helper.is_started()) log(2, __LINE__, "the plug-in did not start capture");
  return 0;
}

void AgentSetup::stop_plugin() {
  HWinPCapHelper::instance().stop();
  HEventCenter::ins().notify_stop();
}

uint64_t AgentSetup::count_lines(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return 0;
  return static_cast<uint64_t>(std::count(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>(), '\n'));
}
