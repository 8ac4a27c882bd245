#include "frame/HGuardModules.h"

#include "host/HFileLog.h"
#include "neighwatch/HNeighbourWatch.h"

void HGuardModules::start(const HGuardSettings& settings) {
  if (!settings.b_neighbour_watch && !settings.b_repair_cache && settings.vt_dhcp_servers.empty()) return;
  HFileLog::ins().log(2, L".\\Tidewell", __LINE__, L"guard: neighbour_watch %d, repair_cache %d, dhcp_servers %d",
                      settings.b_neighbour_watch ? 1 : 0, settings.b_repair_cache ? 1 : 0,
                      static_cast<int>(settings.vt_dhcp_servers.size()));
  if (settings.b_neighbour_watch) HNeighbourWatch::start_watch();
}
