#pragma once
// The IPv6 guard's reports: an id, its text and the MAC and IPv6 address
// it names ({"mac", "ip"}), through the plug-in's report gate.
#include "wire/HIpv6Address.h"

class HIpv6Report {
 public:
  // A neighbour entry of a router claimed for another MAC.
  static void neighbour(const unsigned char* mac, const HIpv6Address& router);
  // A rogue router advertisement.
  static void advert(const unsigned char* mac, const HIpv6Address& router);
  // A DHCPv6 server that is not listed.
  static void dhcp6(const unsigned char* mac, const HIpv6Address& server);

 private:
  static void send(bool b_arp, const wchar_t* id, int lan_id, const unsigned char* mac, const HIpv6Address& ip);
};
