#pragma once
// The legitimate DHCPv6 servers (`guard.dhcp6_servers`): DUIDs and MACs.
// An ADVERTISE or REPLY from a server whose DUID (the server identifier
// option) and Ethernet source match no entry is reported as
// "AntiARP_RP_DHCP6"; with no entry nothing is checked.
#include <vector>

#include "host/HString.h"

class HIpv6Packet;

class HDhcp6Servers {
 public:
  static constexpr int kMaxOptions = 64;

  // Entries in hex bytes joined by ":" or "-": six bytes are a MAC, any
  // other count a DUID. Texts that are neither name no server.
  explicit HDhcp6Servers(const std::vector<HString>& entries);
  bool empty() const { return vt_macs.empty() && vt_duids.empty(); }
  // A UDP datagram of the packet. False when it is a DHCPv6 answer whose
  // options do not fit.
  bool judge(const HIpv6Packet& packet) const;

 private:
  typedef std::vector<unsigned char> Bytes;
  std::vector<Bytes> vt_macs;
  std::vector<Bytes> vt_duids;
};
