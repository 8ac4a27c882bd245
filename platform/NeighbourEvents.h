#pragma once
// The kernel's announcements of changed IPv4 neighbour entries (rtnetlink,
// group RTNLGRP_NEIGH), as rows of the ARP table. Windows raises no such
// events here: there the subscription fails.
#include <vector>

#include "platform/IpHelper.h"

namespace platform {

class NetlinkClient;

class NeighbourEvents {
 public:
  enum class Wait { kRows, kTimeout, kLost, kError };

  NeighbourEvents() = default;
  ~NeighbourEvents();
  NeighbourEvents(const NeighbourEvents&) = delete;
  NeighbourEvents& operator=(const NeighbourEvents&) = delete;

  // Subscribes; a wait returns after at most `timeout_ms` without events.
  // 0, or a positive errno.
  int open(int timeout_ms);
  // Waits for one datagram of events and appends its rows (the kernel's
  // own, read as NetlinkArpTable::parse_events reads them). kLost: the
  // kernel had to drop events (its queue for us was full), or a datagram
  // could not be read whole; the watch goes on. kError: the socket failed.
  Wait wait(std::vector<MIB_IPNETROW>& rows);

 private:
  NetlinkClient* p_client = nullptr;  // once open
};

}  // namespace platform
