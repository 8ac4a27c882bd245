#include "platform/NeighbourEvents.h"

#include <linux/rtnetlink.h>

#include <cerrno>

#include "platform/NetlinkArpTable.h"
#include "platform/NetlinkClient.h"
#include "platform/NetlinkIpv6.h"

namespace platform {

NeighbourEvents::~NeighbourEvents() { delete p_client; }

int NeighbourEvents::open(int timeout_ms) {
  if (p_client) return 0;
  NetlinkClient* client = new NetlinkClient();
  int error = client->open(RTMGRP_NEIGH, timeout_ms);
  if (error) {
    delete client;
    return error;
  }
  p_client = client;
  return 0;
}

NeighbourEvents::Wait NeighbourEvents::receive(const unsigned char*& data, size_t& len) {
  if (!p_client) return Wait::kError;
  int error = p_client->receive(data, len);
  if (error == ETIMEDOUT) return Wait::kTimeout;
  if (error == ENOBUFS || error == EMSGSIZE) return Wait::kLost;
  if (error) return Wait::kError;
  if (len == 0) return Wait::kTimeout;  // not from the kernel
  return Wait::kRows;
}

NeighbourEvents::Wait NeighbourEvents::wait(std::vector<MIB_IPNETROW>& rows) {
  const unsigned char* data = nullptr;
  size_t len = 0;
  Wait result = receive(data, len);
  if (result != Wait::kRows) return result;
  return NetlinkArpTable::parse_events(data, len, rows) ? Wait::kRows : Wait::kLost;
}

NeighbourEvents::Wait NeighbourEvents::wait(std::vector<Ipv6Router>& rows) {
  const unsigned char* data = nullptr;
  size_t len = 0;
  Wait result = receive(data, len);
  if (result != Wait::kRows) return result;
  auto walk = NetlinkClient::walk_messages(data, len, [&](const NetlinkClient::Message& message) {
    Ipv6Router row;
    if (message.type != RTM_NEWNEIGH && message.type != RTM_DELNEIGH) return true;
    if (!netlink_ipv6::read_neighbour(message.data, message.len, row)) return true;
    row.b_deleted = message.type == RTM_DELNEIGH;
    rows.push_back(row);
    return true;
  });
  return walk == NetlinkClient::Walk::kBroken ? Wait::kLost : Wait::kRows;
}

}  // namespace platform
