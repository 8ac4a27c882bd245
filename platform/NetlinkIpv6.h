#pragma once
// The readers of the kernel's IPv6 route and neighbour messages (rtnetlink),
// for NetlinkIpv6.cpp and its tests. Every length is checked before a read.
#include <cstddef>

#include "platform/Ipv6Table.h"

namespace platform {
namespace netlink_ipv6 {

// One RTM_NEWROUTE message: true for a default route (::/0) of the main
// table learned from an advertisement (proto ra), with its gateway and
// interface in `router`.
bool read_ra_route(const unsigned char* msg, size_t len, Ipv6Router& router);
// One RTM_NEWNEIGH or RTM_DELNEIGH message: true for an IPv6 entry with a
// 16-byte destination.
bool read_neighbour(const unsigned char* msg, size_t len, Ipv6Router& row);
// Walks the messages of one datagram and hands each whose length fits to
// visit(type, msg, len); false when the datagram's framing is broken.
template <typename Visit>
bool walk_messages(const unsigned char* buf, size_t len, Visit visit);

}  // namespace netlink_ipv6
}  // namespace platform

#include <linux/netlink.h>

#include <cstring>

template <typename Visit>
bool platform::netlink_ipv6::walk_messages(const unsigned char* buf, size_t len, Visit visit) {
  size_t off = 0;
  while (buf && len - off >= sizeof(struct nlmsghdr)) {
    struct nlmsghdr hdr {};
    std::memcpy(&hdr, buf + off, sizeof(hdr));
    if (hdr.nlmsg_len < sizeof(hdr) || hdr.nlmsg_len > len - off) return false;
    if (!visit(hdr, buf + off, static_cast<size_t>(hdr.nlmsg_len))) return true;
    off += NLMSG_ALIGN(hdr.nlmsg_len) < len - off ? NLMSG_ALIGN(hdr.nlmsg_len) : len - off;
  }
  return true;
}
