#include "platform/NetlinkIpv6.h"

#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "platform/NetlinkClient.h"

namespace platform {

namespace {

using Message = NetlinkClient::Message;
using Attr = NetlinkClient::Attr;

// A request of `type` with a family header `body` and attributes appended
// by add(); sent, then either dumped to visit(message) or acknowledged.
class Request {
 public:
  Request(uint16_t type, uint16_t flags, const void* body, size_t body_len) : ui_seq(NetlinkClient::next_seq()) {
    ul_len = NetlinkClient::start_request(buf, sizeof(buf), type, flags, ui_seq, body, body_len);
  }
  void add(uint16_t type, const void* data, size_t len) {
    if (ul_len != 0 && !NetlinkClient::add_attr(buf, sizeof(buf), ul_len, type, data, len)) ul_len = 0;
  }
  // 0 when the kernel took it (a dump: to its end), or -1.
  template <typename Visit>
  int run(Visit visit) {
    NetlinkClient client;
    if (ul_len == 0 || client.open(0, NetlinkClient::kReplyTimeoutMs) != 0) return -1;
    int error = client.exchange(buf, ul_len, [&](const unsigned char* data, size_t len) {
      int result = -1;
      auto walk = NetlinkClient::walk_messages(data, len, [&](const Message& message) {
        if (message.seq != ui_seq) return true;
        if (message.type == NLMSG_DONE || message.type == NLMSG_ERROR) {
          result = NetlinkClient::error_of(message);
          return false;
        }
        visit(message);
        return true;
      });
      return walk == NetlinkClient::Walk::kBroken ? EPROTO : result;
    });
    return error == 0 ? 0 : -1;
  }
  int run() {
    return run([](const Message&) {});
  }

 private:
  unsigned char buf[256];
  size_t ul_len = 0;
  uint32_t ui_seq;
};

// Dumps the kernel's objects of `type` (with the family header `body`)
// and hands the row that read(data, len, row) makes of each `answer`
// message to found(row, message).
template <typename Body, typename Read, typename Found>
int dump_rows(uint16_t type, const Body& body, uint16_t answer, Read read, Found found) {
  Request request(type, NLM_F_REQUEST | NLM_F_DUMP, &body, sizeof(body));
  return request.run([&](const Message& message) {
    Ipv6Router row;
    if (message.type == answer && read(message.data, message.len, row)) found(row, message);
  });
}

// The kernel's default routes learned from advertisements, with the
// message of each (to remove it by).
int dump_ra_routes(std::vector<Ipv6Router>& routers, std::vector<struct rtmsg>* messages) {
  struct rtmsg rt {};
  rt.rtm_family = AF_INET6;
  return dump_rows(RTM_GETROUTE, rt, RTM_NEWROUTE, netlink_ipv6::read_ra_route,
                   [&](const Ipv6Router& router, const Message& message) {
                     routers.push_back(router);
                     if (!messages) return;
                     struct rtmsg found {};
                     std::memcpy(&found, message.data + NLMSG_HDRLEN, sizeof(found));
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
    return dump_rows(RTM_GETNEIGH, ndm, RTM_NEWNEIGH, netlink_ipv6::read_neighbour,
                     [&](const Ipv6Router& row, const Message&) {
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
  bool ok = NetlinkClient::walk_attrs(msg + attrs_at, len - attrs_at, [&](const Attr& attr) {
    if (attr.type == RTA_TABLE && attr.len >= sizeof(table)) std::memcpy(&table, attr.data, sizeof(table));
    if (attr.type == RTA_OIF && attr.len >= sizeof(oif)) std::memcpy(&oif, attr.data, sizeof(oif));
    if (attr.type == RTA_GATEWAY && attr.len == router.address.size()) {
      std::memcpy(router.address.data(), attr.data, attr.len);
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
  bool ok = NetlinkClient::walk_attrs(msg + attrs_at, len - attrs_at, [&](const Attr& attr) {
    if (attr.type == NDA_DST && attr.len == row.address.size()) {
      std::memcpy(row.address.data(), attr.data, attr.len);
      has_dst = true;
    }
    if (attr.type == NDA_LLADDR && attr.len == sizeof(row.mac)) {
      std::memcpy(row.mac, attr.data, attr.len);
      row.b_has_mac = usable;
    }
  });
  return ok && has_dst;
}

Ipv6Table& kernel_ipv6_table() {
  static KernelIpv6Table table;
  return table;
}

}  // namespace platform
