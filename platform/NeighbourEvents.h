#pragma once
// The kernel's announcements of changed neighbour entries (rtnetlink,
// group RTNLGRP_NEIGH): the IPv4 ones as rows of the ARP table, the IPv6
// ones as router rows. Windows raises no such events here: there the
// subscription fails.
#include <cstddef>
#include <vector>

#include "platform/IpHelper.h"

namespace platform {

class NetlinkClient;
struct Ipv6Router;

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
  // The same for the IPv6 entries, deleted ones marked.
  Wait wait(std::vector<Ipv6Router>& rows);

 private:
  // One datagram of events (kRows), or why there is none.
  Wait receive(const unsigned char*& data, size_t& len);

  NetlinkClient* p_client = nullptr;  // once open
};

}  // namespace platform
