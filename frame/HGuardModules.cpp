#include "frame/HGuardModules.h"

#include <arpa/inet.h>

#include "cacherepair/HCacheRepair.h"
#include "dhcpservers/HDhcpServerCallback.h"
#include "host/HFileLog.h"
#include "host/HWinPCapHelper.h"
#include "ipv6guard/HIpv6Watch.h"
#include "neighwatch/HNeighbourWatch.h"

void HGuardModules::start(const HGuardSettings& settings) {
  if (!settings.b_neighbour_watch && !settings.b_repair_cache && settings.vt_dhcp_servers.empty() &&
      !settings.ipv6_on()) {
    return;
  }
  HFileLog::ins().log(2, L".\\Tidewell", __LINE__,
                      L"guard: neighbour_watch %d, repair_cache %d, dhcp_servers %d, ipv6 %d",
                      settings.b_neighbour_watch ? 1 : 0, settings.b_repair_cache ? 1 : 0,
                      static_cast<int>(settings.vt_dhcp_servers.size()), settings.ipv6_on() ? 1 : 0);
  if (settings.b_repair_cache) HCacheRepair::start();
  // Like every callback, it lives as long as the capture helper that holds it.
  if (!settings.vt_dhcp_servers.empty()) {
    HDhcpServerCallback* servers = new HDhcpServerCallback(settings.vt_dhcp_servers);
    servers->us_filter = htons(0x0800);
    HWinPCapHelper::instance().add_callback(servers);
  }
  if (settings.b_neighbour_watch) HNeighbourWatch::start_watch();
  if (settings.ipv6_on()) HIpv6Watch::start_guard(settings);
}
