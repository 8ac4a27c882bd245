#include "platform/NeighbourEvents.h"

#include <linux/rtnetlink.h>

#include <cerrno>

#include "platform/NetlinkArpTable.h"
#include "platform/NetlinkClient.h"

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

}  // namespace platform
