#include "platform/NeighbourEvents.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

#include "platform/NetlinkArpTable.h"

namespace platform {

namespace {
// A datagram of the kernel's events never exceeds a page or two.
constexpr size_t kRecvBufferSize = 64 * 1024;
}  // namespace

NeighbourEvents::~NeighbourEvents() {
  if (i_fd >= 0) ::close(i_fd);
}

int NeighbourEvents::open(int timeout_ms) {
  if (i_fd >= 0) return 0;
  int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
  if (fd < 0) return errno;
  struct timeval tv {};
  tv.tv_sec = timeout_ms / 1000;
  tv.tv_usec = (timeout_ms % 1000) * 1000;
  struct sockaddr_nl local {};
  local.nl_family = AF_NETLINK;
  local.nl_groups = RTMGRP_NEIGH;
  if (::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv)) < 0 ||
      ::bind(fd, reinterpret_cast<struct sockaddr*>(&local), sizeof(local)) < 0) {
    int error = errno;
    ::close(fd);
    return error;
  }
  i_fd = fd;
  vt_buffer.resize(kRecvBufferSize);
  return 0;
}

NeighbourEvents::Wait NeighbourEvents::wait(std::vector<MIB_IPNETROW>& rows) {
  if (i_fd < 0) return Wait::kError;
  struct sockaddr_nl from {};
  struct iovec iov {vt_buffer.data(), vt_buffer.size()};
  struct msghdr mh {};
  mh.msg_name = &from;
  mh.msg_namelen = sizeof(from);
  mh.msg_iov = &iov;
  mh.msg_iovlen = 1;
  ssize_t got = ::recvmsg(i_fd, &mh, 0);
  if (got < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return Wait::kTimeout;
    return errno == ENOBUFS ? Wait::kLost : Wait::kError;
  }
  if (mh.msg_flags & MSG_TRUNC) return Wait::kLost;
  // Only the kernel speaks for the table.
  if (from.nl_pid != 0) return Wait::kTimeout;
  return NetlinkArpTable::parse_events(vt_buffer.data(), static_cast<size_t>(got), rows) ? Wait::kRows : Wait::kLost;
}

}  // namespace platform
