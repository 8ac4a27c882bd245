#pragma once
// The interface of the IPv4 default route: where live capture listens when
// no interface is named.
#include <string>

class DefaultRoute {
 public:
  // From the text of /proc/net/route: the interface of the usable default
  // route with the lowest metric, or "" when there is none.
  static std::string interface_from(const std::string& route_table);
  static std::string interface_name();
};
