#include "ipv6guard/HIpv6Watch.h"

#include <arpa/inet.h>

#include <algorithm>

#include "host/HFileLog.h"
#include "host/HNetworkProtocolUtil.h"
#include "host/HSysInfoMgr.h"
#include "host/HWinPCapHelper.h"
#include "ipv6guard/HIpv6Callback.h"
#include "platform/WinTime.h"
#include "wire/HWireLayout.h"

namespace {

const wchar_t kSource[] = L".\\HIpv6Watch";

}  // namespace

bool HIpv6Watch::parse_router(const HString& text, std::pair<HIpv6Address, HIpv6Routers::Mac>& router) {
  std::string line = text.get_str_direct();
  size_t dash = line.find('-');
  return dash != std::string::npos && HIpv6Text::parse(line.substr(0, dash), router.first) &&
         HNetworkProtocolUtil::MakeMACArrayFromString(line.substr(dash + 1), router.second.data());
}

void HIpv6Watch::start_guard(const HGuardSettings& settings) {
  HIpv6Routers::Settings routers_settings;
  routers_settings.b_remove_rogue_routes = settings.b_ipv6_remove_rogue_routes;
  for (const HString& text : settings.vt_ipv6_routers) {
    std::pair<HIpv6Address, HIpv6Routers::Mac> router;
    if (parse_router(text, router)) routers_settings.vt_listed.push_back(router);
  }
  HString main_ip;
  HString main_mac;
  HSysInfoMgr::ins().get_main_ip_mac(main_ip, main_mac);
  HIpv6Routers::Mac host_mac{};
  HNetworkProtocolUtil::MakeMACArrayFromString(main_mac.get_str_direct(), host_mac.data());
  // Never freed, like the callbacks and the plug-in's threads.
  HIpv6Routers* routers = new HIpv6Routers(routers_settings, host_mac);
  std::vector<platform::Ipv6Router> table;
  if (platform::ipv6_table().read_routers(table) != 0) {
    HFileLog::ins().log(1, kSource, __LINE__, L"IPv6 guard: the router table cannot be read");
  }
  routers->refresh(table, true);
  HIpv6Callback* callback = new HIpv6Callback(*routers, HDhcp6Servers(settings.vt_dhcp6_servers));
  callback->us_filter = htons(HWireLayout::kEtherTypeIpv6);
  HWinPCapHelper::instance().add_callback(callback);
  HFileLog::ins().log(2, kSource, __LINE__, L"IPv6 guard: %d routers in the table, %d listed, %d DHCPv6 servers",
                      static_cast<int>(table.size()), static_cast<int>(routers_settings.vt_listed.size()),
                      static_cast<int>(settings.vt_dhcp6_servers.size()));
  if (!HWinPCapHelper::instance().is_live()) return;
  HIpv6Watch* watch = new HIpv6Watch(*routers);
  watch->__incRef();
  try {
    watch->start(0).detach();
  } catch (const HIEUtil::NullHandleException&) {
    HFileLog::ins().log(1, kSource, __LINE__, L"HIpv6Watch start failed");
  }
}

void HIpv6Watch::run() {
  int error = events.open(kWaitMs);
  b_events = error == 0;
  if (!b_events) HFileLog::ins().log(1, kSource, __LINE__, L"IPv6 watch: no kernel events (errno %d)", error);
  dw_refreshed = GetTickCount();
  for (;;) run_pass();
}

void HIpv6Watch::run_pass() {
  std::vector<platform::Ipv6Router> rows;
  if (!b_events) {
    Sleep(kWaitMs);
  } else if (events.wait(rows) == platform::NeighbourEvents::Wait::kError) {
    HFileLog::ins().log(1, kSource, __LINE__, L"IPv6 watch: the kernel's events failed");
    b_events = false;
  }
  // The guard's own binding is permanent: never a claim.
  for (const platform::Ipv6Router& row : rows) {
    if (!row.b_has_mac || row.b_permanent || row.b_deleted) continue;
    HIpv6Routers::Mac mac;
    std::copy(row.mac, row.mac + mac.size(), mac.begin());
    p_routers->judge_claim(row.address, mac);
  }
  p_routers->expire_probes();
  DWORD now = GetTickCount();
  if (DWORD(now - dw_refreshed) < (p_routers->needs_removals() ? kRemovalMs : kRefreshMs)) return;
  dw_refreshed = now;
  std::vector<platform::Ipv6Router> table;
  if (platform::ipv6_table().read_routers(table) == 0) p_routers->refresh(table, false);
}
