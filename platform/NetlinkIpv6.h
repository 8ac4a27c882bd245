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
}  // namespace netlink_ipv6
}  // namespace platform
