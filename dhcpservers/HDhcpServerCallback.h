#pragma once
// Checks every DHCP offer and acknowledgement seen, unicast or broadcast,
// against the list of legitimate DHCP servers. A server that the list does
// not name is reported as "AntiARP_RP_DHCP_SERVER" with its MAC and
// address; repeats of one server within the report window are held back by
// the report gate. A rogue server that names itself as the gateway answers
// ARP for it, so the offer's own content cannot tell it from a real one.
#include <array>
#include <cstdint>
#include <vector>

#include "host/HString.h"
#include "host/HWinPCapHelper.h"

class HDhcpServerCallback : public HWPCCallback {
 public:
  // `servers`: IPv4 texts and MAC texts; any other text names no server.
  explicit HDhcpServerCallback(const std::vector<HString>& servers);
  // Judges UDP datagrams from port 67 to port 68 only; frames that are not
  // DHCP, or do not fit, are left to the DHCP guard's own callback to count.
  int on_packet(const unsigned char* frame, int len) override;

 private:
  typedef std::array<unsigned char, 6> Mac;
  // `ip` in network byte order.
  bool is_listed(uint32_t ip, const unsigned char* mac) const;

  std::vector<uint32_t> vt_addresses;  // network byte order
  std::vector<Mac> vt_macs;
};
