#include "host/HRouteTable.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

constexpr size_t RECV_BUF_LEN = 32768;
// A dump of a routing table with a few thousand routes fits in far fewer.
constexpr int MAX_RECV_CALLS = 4096;

struct RouteRequest {
  struct nlmsghdr hdr;
  struct rtmsg msg;
};

struct Attr {
  unsigned short type;
  const unsigned char* data;
  size_t len;
};

// Walks rtattrs; false when one of them does not fit what is left.
template <typename F>
bool walk_attrs(const unsigned char* p, size_t len, F&& visit) {
  size_t off = 0;
  while (len - off >= sizeof(struct rtattr)) {
    struct rtattr a;
    std::memcpy(&a, p + off, sizeof(a));
    if (a.rta_len < sizeof(struct rtattr) || a.rta_len > len - off) return false;
    visit(Attr{a.rta_type, p + off + RTA_LENGTH(0), a.rta_len - RTA_LENGTH(0)});
    size_t step = RTA_ALIGN(a.rta_len);
    if (step >= len - off) break;
    off += step;
  }
  return true;
}

bool read_u32(const Attr& a, uint32_t& out) {
  if (a.len < sizeof(out)) return false;
  std::memcpy(&out, a.data, sizeof(out));
  return true;
}

// Next hops of a multipath route, each with its own interface and gateway.
bool parse_multipath(const Attr& a, const HRouteEntry& base, std::vector<HRouteEntry>& hops) {
  size_t off = 0;
  while (a.len - off >= sizeof(struct rtnexthop)) {
    struct rtnexthop nh;
    std::memcpy(&nh, a.data + off, sizeof(nh));
    if (nh.rtnh_len < sizeof(struct rtnexthop) || nh.rtnh_len > a.len - off) return false;
    HRouteEntry hop = base;
    hop.i_ifindex = nh.rtnh_ifindex;
    hop.ul_gateway = 0;
    bool ok = walk_attrs(a.data + off + RTNH_LENGTH(0), nh.rtnh_len - RTNH_LENGTH(0), [&](const Attr& inner) {
      if (inner.type == RTA_GATEWAY && !read_u32(inner, hop.ul_gateway)) hop.ul_gateway = 0;
    });
    if (!ok) return false;
    hops.push_back(hop);
    size_t step = RTNH_ALIGN(nh.rtnh_len);
    if (step >= a.len - off) break;
    off += step;
  }
  return true;
}

// One RTM_NEWROUTE message; adds its next hops when it is an IPv4 default
// unicast route of the main table.
void parse_route(const unsigned char* msg, size_t len, std::vector<HRouteEntry>& routes) {
  const size_t attrs_at = NLMSG_SPACE(sizeof(struct rtmsg));
  if (len < NLMSG_LENGTH(sizeof(struct rtmsg))) return;
  struct rtmsg rt;
  std::memcpy(&rt, msg + NLMSG_HDRLEN, sizeof(rt));
  if (rt.rtm_family != AF_INET || rt.rtm_dst_len != 0 || rt.rtm_type != RTN_UNICAST) return;
  uint32_t table = rt.rtm_table;
  uint32_t oif = 0;
  HRouteEntry entry;
  std::vector<HRouteEntry> hops;
  bool ok = attrs_at > len || walk_attrs(msg + attrs_at, len - attrs_at, [&](const Attr& a) {
    if (a.type == RTA_TABLE) read_u32(a, table);
    if (a.type == RTA_OIF) read_u32(a, oif);
    if (a.type == RTA_PRIORITY) read_u32(a, entry.ul_priority);
    if (a.type == RTA_GATEWAY && !read_u32(a, entry.ul_gateway)) entry.ul_gateway = 0;
    if (a.type == RTA_MULTIPATH && !parse_multipath(a, entry, hops)) hops.clear();
  });
  if (!ok || table != RT_TABLE_MAIN) return;
  if (!hops.empty()) {
    for (HRouteEntry& hop : hops) hop.ul_priority = entry.ul_priority;
    routes.insert(routes.end(), hops.begin(), hops.end());
    return;
  }
  if (oif == 0) return;
  entry.i_ifindex = static_cast<int>(oif);
  routes.push_back(entry);
}

int open_socket() {
  int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
  if (fd < 0) return -1;
  struct timeval tv = {1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
  return fd;
}

int send_request(int fd, uint32_t seq) {
  RouteRequest req;
  std::memset(&req, 0, sizeof(req));
  req.hdr.nlmsg_len = NLMSG_LENGTH(sizeof(struct rtmsg));
  req.hdr.nlmsg_type = RTM_GETROUTE;
  req.hdr.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  req.hdr.nlmsg_seq = seq;
  req.msg.rtm_family = AF_INET;
  struct sockaddr_nl kernel;
  std::memset(&kernel, 0, sizeof(kernel));
  kernel.nl_family = AF_NETLINK;
  ssize_t n = ::sendto(fd, &req, req.hdr.nlmsg_len, 0, reinterpret_cast<struct sockaddr*>(&kernel), sizeof(kernel));
  return n == static_cast<ssize_t>(req.hdr.nlmsg_len) ? 0 : -1;
}

// Receives one datagram from the kernel; its length, or -1.
ssize_t receive(int fd, unsigned char* buf, size_t len) {
  for (;;) {
    struct sockaddr_nl from;
    std::memset(&from, 0, sizeof(from));
    struct iovec iov = {buf, len};
    struct msghdr mh;
    std::memset(&mh, 0, sizeof(mh));
    mh.msg_name = &from;
    mh.msg_namelen = sizeof(from);
    mh.msg_iov = &iov;
    mh.msg_iovlen = 1;
    ssize_t n = ::recvmsg(fd, &mh, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || (mh.msg_flags & MSG_TRUNC)) return -1;
    if (from.nl_pid != 0) continue;  // not from the kernel
    return n;
  }
}

}  // namespace

int HRouteTable::parse_dump(const unsigned char* buf, size_t len, uint32_t seq, std::vector<HRouteEntry>& routes) {
  size_t off = 0;
  while (buf && len - off >= sizeof(struct nlmsghdr)) {
    struct nlmsghdr hdr;
    std::memcpy(&hdr, buf + off, sizeof(hdr));
    if (hdr.nlmsg_len < sizeof(struct nlmsghdr) || hdr.nlmsg_len > len - off) return -1;
    if (hdr.nlmsg_seq == seq) {
      if (hdr.nlmsg_type == NLMSG_DONE) return 0;
      if (hdr.nlmsg_type == NLMSG_ERROR) return -1;
      if (hdr.nlmsg_type == RTM_NEWROUTE) parse_route(buf + off, hdr.nlmsg_len, routes);
    }
    size_t step = NLMSG_ALIGN(hdr.nlmsg_len);
    if (step >= len - off) break;
    off += step;
  }
  return 1;
}

int HRouteTable::read_default_routes(std::vector<HRouteEntry>& routes) {
  static std::atomic<uint32_t> next_seq{1};
  routes.clear();
  int fd = open_socket();
  if (fd < 0) return -1;
  uint32_t seq = next_seq.fetch_add(1) ^ (static_cast<uint32_t>(::getpid()) << 16);
  int state = send_request(fd, seq) == 0 ? 1 : -1;
  std::vector<unsigned char> buf(RECV_BUF_LEN);
  for (int calls = 0; state == 1 && calls < MAX_RECV_CALLS; ++calls) {
    ssize_t n = receive(fd, buf.data(), buf.size());
    state = n < 0 ? -1 : parse_dump(buf.data(), static_cast<size_t>(n), seq, routes);
  }
  ::close(fd);
  if (state != 0) routes.clear();
  return state == 0 ? 0 : -1;
}
