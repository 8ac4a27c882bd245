#include "host/HRouteTable.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <cstring>

#include "platform/NetlinkClient.h"

using platform::NetlinkClient;

namespace {

using Attr = NetlinkClient::Attr;

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
    bool ok = NetlinkClient::walk_attrs(a.data + off + RTNH_LENGTH(0), nh.rtnh_len - RTNH_LENGTH(0),
                                        [&](const Attr& inner) {
                                          if (inner.type == RTA_GATEWAY && !read_u32(inner, hop.ul_gateway)) {
                                            hop.ul_gateway = 0;
                                          }
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
void parse_route(const NetlinkClient::Message& msg, std::vector<HRouteEntry>& routes) {
  const size_t attrs_at = NLMSG_SPACE(sizeof(struct rtmsg));
  if (msg.len < NLMSG_LENGTH(sizeof(struct rtmsg))) return;
  struct rtmsg rt;
  std::memcpy(&rt, msg.data + NLMSG_HDRLEN, sizeof(rt));
  if (rt.rtm_family != AF_INET || rt.rtm_dst_len != 0 || rt.rtm_type != RTN_UNICAST) return;
  uint32_t table = rt.rtm_table;
  uint32_t oif = 0;
  HRouteEntry entry;
  std::vector<HRouteEntry> hops;
  bool ok = attrs_at > msg.len || NetlinkClient::walk_attrs(msg.data + attrs_at, msg.len - attrs_at, [&](const Attr& a) {
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

}  // namespace

int HRouteTable::parse_dump(const unsigned char* buf, size_t len, uint32_t seq, std::vector<HRouteEntry>& routes) {
  int state = 1;
  auto walk = NetlinkClient::walk_messages(buf, len, [&](const NetlinkClient::Message& msg) {
    if (msg.seq != seq) return true;
    if (msg.type == NLMSG_DONE || msg.type == NLMSG_ERROR) {
      state = msg.type == NLMSG_DONE ? 0 : -1;
      return false;
    }
    if (msg.type == RTM_NEWROUTE) parse_route(msg, routes);
    return true;
  });
  return walk == NetlinkClient::Walk::kBroken ? -1 : state;
}

int HRouteTable::read_default_routes(std::vector<HRouteEntry>& routes) {
  routes.clear();
  uint32_t seq = NetlinkClient::next_seq();
  struct rtmsg body {};
  body.rtm_family = AF_INET;
  unsigned char request[64];
  size_t request_len =
      NetlinkClient::start_request(request, sizeof(request), RTM_GETROUTE, NLM_F_REQUEST | NLM_F_DUMP, seq, &body, sizeof(body));
  NetlinkClient client;
  int error = client.open(0, NetlinkClient::kReplyTimeoutMs);
  if (!error) {
    error = client.exchange(request, request_len, [&](const unsigned char* data, size_t len) {
      int state = parse_dump(data, len, seq, routes);
      return state == 1 ? -1 : (state == 0 ? 0 : EPROTO);
    });
  }
  if (error) routes.clear();
  return error ? -1 : 0;
}
