#include "platform/NetlinkIpv6.h"

#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>

#include "platform/NetlinkClient.h"

namespace platform {

namespace {

constexpr size_t kBufferSize = 64 * 1024;
// The kernel answers at once; a silent socket means something is wrong.
constexpr int kAnswerTimeoutMs = 2000;
// Bounds a dump whatever the kernel sends.
constexpr int kMaxChunks = 100000;

// Hands each attribute of `data` (of `len` bytes) to visit(type, value,
// value_len); false when one does not fit.
template <typename Visit>
bool walk_attrs(const unsigned char* data, size_t len, Visit visit) {
  size_t off = 0;
  while (len - off >= sizeof(struct rtattr)) {
    struct rtattr rta {};
    std::memcpy(&rta, data + off, sizeof(rta));
    if (rta.rta_len < sizeof(rta) || rta.rta_len > len - off) return false;
    visit(rta.rta_type, data + off + RTA_LENGTH(0), static_cast<size_t>(rta.rta_len - RTA_LENGTH(0)));
    if (RTA_ALIGN(rta.rta_len) >= len - off) break;
    off += RTA_ALIGN(rta.rta_len);
  }
  return true;
}

// One datagram from the kernel: its length, 0 for one from elsewhere, or
// -errno (-EMSGSIZE when cut short).
ssize_t receive(int fd, unsigned char* buf, size_t size) {
  struct sockaddr_nl from {};
  struct iovec iov {buf, size};
  struct msghdr mh {};
  mh.msg_name = &from;
  mh.msg_namelen = sizeof(from);
  mh.msg_iov = &iov;
  mh.msg_iovlen = 1;
  ssize_t got = ::recvmsg(fd, &mh, 0);
  if (got < 0) return -errno;
  if (mh.msg_flags & MSG_TRUNC) return -EMSGSIZE;
  return from.nl_pid == 0 ? got : 0;
}

uint32_t next_seq() {
  static std::atomic<uint32_t> seq{static_cast<uint32_t>(std::time(nullptr))};
  return seq.fetch_add(1) + 1;
}

// A request of `type` with a family header `body` and attributes appended
// by add(); sent, then either dumped to visit(hdr, msg, len) or acknowledged.
class Request {
 public:
  Request(uint16_t type, uint16_t flags, const void* body, size_t body_len) {
    struct nlmsghdr hdr {};
    hdr.nlmsg_type = type;
    hdr.nlmsg_flags = flags;
    hdr.nlmsg_seq = ui_seq = next_seq();
    vt_bytes.assign(NLMSG_LENGTH(body_len), 0);
    std::memcpy(vt_bytes.data(), &hdr, sizeof(hdr));
    std::memcpy(vt_bytes.data() + NLMSG_HDRLEN, body, body_len);
  }
  void add(uint16_t type, const void* data, size_t len) {
    size_t at = NLMSG_ALIGN(vt_bytes.size());
    vt_bytes.resize(at + RTA_SPACE(len), 0);
    struct rtattr rta {};
    rta.rta_len = static_cast<unsigned short>(RTA_LENGTH(len));
    rta.rta_type = type;
    std::memcpy(vt_bytes.data() + at, &rta, sizeof(rta));
    std::memcpy(vt_bytes.data() + at + RTA_LENGTH(0), data, len);
  }
  // 0 when the kernel took it (a dump: to its end), or -1.
  template <typename Visit>
  int run(Visit visit) {
    uint32_t total = static_cast<uint32_t>(vt_bytes.size());
    std::memcpy(vt_bytes.data(), &total, sizeof(total));
    int fd = NetlinkClient::open_socket(0, kAnswerTimeoutMs);
    if (fd < 0) return -1;
    struct sockaddr_nl kernel {};
    kernel.nl_family = AF_NETLINK;
    int state = ::sendto(fd, vt_bytes.data(), total, 0, reinterpret_cast<struct sockaddr*>(&kernel),
                         sizeof(kernel)) == static_cast<ssize_t>(total) ? 1 : -1;
    std::vector<unsigned char> buf(kBufferSize);
    for (int chunk = 0; state == 1 && chunk < kMaxChunks; ++chunk) {
      ssize_t got = receive(fd, buf.data(), buf.size());
      if (got < 0 && got != -EINTR) state = -1;
      bool framed = got > 0 && netlink_ipv6::walk_messages(
          buf.data(), static_cast<size_t>(got), [&](const struct nlmsghdr& hdr, const unsigned char* msg, size_t len) {
            if (hdr.nlmsg_seq != ui_seq) return true;
            if (hdr.nlmsg_type == NLMSG_DONE || hdr.nlmsg_type == NLMSG_ERROR) {
              int error = -1;
              if (len >= NLMSG_HDRLEN + sizeof(int)) std::memcpy(&error, msg + NLMSG_HDRLEN, sizeof(error));
              state = hdr.nlmsg_type == NLMSG_DONE || error == 0 ? 0 : -1;
              return false;
            }
            visit(hdr, msg, len);
            return true;
          });
      if (got > 0 && !framed) state = -1;
    }
    ::close(fd);
    return state == 0 ? 0 : -1;
  }
  int run() {
    return run([](const struct nlmsghdr&, const unsigned char*, size_t) {});
  }

 private:
  std::vector<unsigned char> vt_bytes;
  uint32_t ui_seq = 0;
};

// The kernel's default routes learned from advertisements, with the
// message of each (to remove it by).
int dump_ra_routes(std::vector<Ipv6Router>& routers, std::vector<struct rtmsg>* messages) {
  struct rtmsg rt {};
  rt.rtm_family = AF_INET6;
  Request request(RTM_GETROUTE, NLM_F_REQUEST | NLM_F_DUMP, &rt, sizeof(rt));
  return request.run([&](const struct nlmsghdr& hdr, const unsigned char* msg, size_t len) {
    Ipv6Router router;
    if (hdr.nlmsg_type != RTM_NEWROUTE || !netlink_ipv6::read_ra_route(msg, len, router)) return;
    routers.push_back(router);
    if (!messages) return;
    struct rtmsg found {};
    std::memcpy(&found, msg + NLMSG_HDRLEN, sizeof(found));
    messages->push_back(found);
  });
}

class KernelIpv6Table : public Ipv6Table {
 public:
  int read_routers(std::vector<Ipv6Router>& routers) override {
    routers.clear();
    if (dump_ra_routes(routers, nullptr) != 0) return -1;
    struct ndmsg ndm {};
    ndm.ndm_family = AF_INET6;
    Request request(RTM_GETNEIGH, NLM_F_REQUEST | NLM_F_DUMP, &ndm, sizeof(ndm));
    return request.run([&](const struct nlmsghdr& hdr, const unsigned char* msg, size_t len) {
      Ipv6Router row;
      if (hdr.nlmsg_type != RTM_NEWNEIGH || !netlink_ipv6::read_neighbour(msg, len, row)) return;
      for (Ipv6Router& router : routers) {
        if (router.address == row.address && router.i_ifindex == row.i_ifindex) router = row;
      }
    });
  }

  int bind(int ifindex, const HIpv6Address& address, const unsigned char* mac) override {
    struct ndmsg ndm {};
    ndm.ndm_family = AF_INET6;
    ndm.ndm_ifindex = ifindex;
    ndm.ndm_state = NUD_PERMANENT;
    Request request(RTM_NEWNEIGH, NLM_F_REQUEST | NLM_F_ACK | NLM_F_CREATE | NLM_F_REPLACE, &ndm, sizeof(ndm));
    request.add(NDA_DST, address.data(), address.size());
    request.add(NDA_LLADDR, mac, 6);
    return request.run();
  }

  int remove_default_routes(const HIpv6Address& gateway) override {
    std::vector<Ipv6Router> routers;
    std::vector<struct rtmsg> messages;
    if (dump_ra_routes(routers, &messages) != 0) return -1;
    int removed = 0;
    for (size_t i = 0; i < routers.size(); ++i) {
      if (routers[i].address != gateway) continue;
      Request request(RTM_DELROUTE, NLM_F_REQUEST | NLM_F_ACK, &messages[i], sizeof(messages[i]));
      uint32_t oif = static_cast<uint32_t>(routers[i].i_ifindex);
      request.add(RTA_GATEWAY, gateway.data(), gateway.size());
      request.add(RTA_OIF, &oif, sizeof(oif));
      if (request.run() != 0) return -1;
      ++removed;
    }
    return removed;
  }
};

}  // namespace

bool netlink_ipv6::read_ra_route(const unsigned char* msg, size_t len, Ipv6Router& router) {
  if (len < NLMSG_SPACE(sizeof(struct rtmsg))) return false;
  struct rtmsg rt {};
  std::memcpy(&rt, msg + NLMSG_HDRLEN, sizeof(rt));
  if (rt.rtm_family != AF_INET6 || rt.rtm_dst_len != 0 || rt.rtm_protocol != RTPROT_RA ||
      rt.rtm_type != RTN_UNICAST) {
    return false;
  }
  uint32_t table = rt.rtm_table;
  uint32_t oif = 0;
  bool has_gateway = false;
  const size_t attrs_at = NLMSG_SPACE(sizeof(struct rtmsg));
  bool ok = walk_attrs(msg + attrs_at, len - attrs_at, [&](uint16_t type, const unsigned char* value, size_t size) {
    if (type == RTA_TABLE && size >= sizeof(table)) std::memcpy(&table, value, sizeof(table));
    if (type == RTA_OIF && size >= sizeof(oif)) std::memcpy(&oif, value, sizeof(oif));
    if (type == RTA_GATEWAY && size == router.address.size()) {
      std::memcpy(router.address.data(), value, size);
      has_gateway = true;
    }
  });
  router.i_ifindex = static_cast<int>(oif);
  return ok && has_gateway && oif != 0 && table == RT_TABLE_MAIN;
}

bool netlink_ipv6::read_neighbour(const unsigned char* msg, size_t len, Ipv6Router& row) {
  if (len < NLMSG_SPACE(sizeof(struct ndmsg))) return false;
  struct ndmsg ndm {};
  std::memcpy(&ndm, msg + NLMSG_HDRLEN, sizeof(ndm));
  if (ndm.ndm_family != AF_INET6 || (ndm.ndm_flags & NTF_PROXY)) return false;
  row = Ipv6Router();
  row.i_ifindex = ndm.ndm_ifindex;
  row.b_permanent = (ndm.ndm_state & NUD_PERMANENT) != 0;
  // An entry being resolved, or one that failed, holds no usable MAC.
  bool usable = (ndm.ndm_state & (NUD_PERMANENT | NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE)) != 0;
  bool has_dst = false;
  const size_t attrs_at = NLMSG_SPACE(sizeof(struct ndmsg));
  bool ok = walk_attrs(msg + attrs_at, len - attrs_at, [&](uint16_t type, const unsigned char* value, size_t size) {
    if (type == NDA_DST && size == row.address.size()) {
      std::memcpy(row.address.data(), value, size);
      has_dst = true;
    }
    if (type == NDA_LLADDR && size == sizeof(row.mac)) {
      std::memcpy(row.mac, value, size);
      row.b_has_mac = usable;
    }
  });
  return ok && has_dst;
}

Ipv6Table& kernel_ipv6_table() {
  static KernelIpv6Table table;
  return table;
}

Ipv6NeighbourEvents::~Ipv6NeighbourEvents() {
  if (i_fd >= 0) ::close(i_fd);
}

int Ipv6NeighbourEvents::open(int timeout_ms) {
  if (i_fd >= 0) return 0;
  int fd = NetlinkClient::open_socket(RTMGRP_NEIGH, timeout_ms);
  if (fd < 0) return -fd;
  i_fd = fd;
  vt_buffer.resize(kBufferSize);
  return 0;
}

Ipv6NeighbourEvents::Wait Ipv6NeighbourEvents::wait(std::vector<Ipv6Router>& rows) {
  if (i_fd < 0) return Wait::kError;
  ssize_t got = receive(i_fd, vt_buffer.data(), vt_buffer.size());
  if (got == -EAGAIN || got == -EWOULDBLOCK || got == -EINTR || got == 0) return Wait::kTimeout;
  if (got == -ENOBUFS || got == -EMSGSIZE) return Wait::kLost;
  if (got < 0) return Wait::kError;
  bool framed = netlink_ipv6::walk_messages(
      vt_buffer.data(), static_cast<size_t>(got), [&](const struct nlmsghdr& hdr, const unsigned char* msg, size_t len) {
        Ipv6Router row;
        if (hdr.nlmsg_type != RTM_NEWNEIGH && hdr.nlmsg_type != RTM_DELNEIGH) return true;
        if (!netlink_ipv6::read_neighbour(msg, len, row)) return true;
        row.b_deleted = hdr.nlmsg_type == RTM_DELNEIGH;
        rows.push_back(row);
        return true;
      });
  return framed ? Wait::kRows : Wait::kLost;
}

}  // namespace platform
