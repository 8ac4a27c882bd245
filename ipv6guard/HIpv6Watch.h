#pragma once
// Starts the IPv6 guard, and in live capture its watch: the kernel's IPv6
// neighbour events for the routers, judged as claims, and the router table
// read again every kRefreshMs (every kRemovalMs while rogue routes are to
// be removed: a rogue advertises again and again).
#include <atomic>

#include "host/HGuardSettings.h"
#include "host/HIEUtil.h"
#include "ipv6guard/HIpv6Routers.h"
#include "platform/NeighbourEvents.h"
#include "platform/WinTypes.h"

class HIpv6Watch : public HIEUtil::Thread {
 public:
  static constexpr int kWaitMs = 200;
  static constexpr DWORD kRefreshMs = 30000;
  static constexpr DWORD kRemovalMs = 1000;

  // The routers of the settings and the table, the capture callback, and
  // the watch when the capture is live.
  static void start_guard(const HGuardSettings& settings);
  // "fe80::1-02:00:00:00:00:01" -> the pair; false for any other text.
  static bool parse_router(const HString& text, std::pair<HIpv6Address, HIpv6Routers::Mac>& router);

  explicit HIpv6Watch(HIpv6Routers& routers) : p_routers(&routers) {}
  void run() override;
  // One look at the events that came (up to kWaitMs) and the table when due.
  void run_pass();

 private:
  HIpv6Routers* p_routers;
  platform::NeighbourEvents events;
  bool b_events = false;
  DWORD dw_refreshed = 0;
};
