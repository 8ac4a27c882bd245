#pragma once
// The work items the guards pass each other, built from text addresses: an
// ARP packet in text form and a suspected MAC change.
#include <string>

#include "arpguard/HMacChangeItem.h"
#include "host/HArpNode.h"

namespace tidewell_test {

// An ARP packet from `sender_ip` at `sender_mac` to `target_ip` at
// `target_mac` (a reply unless `op` says otherwise).
HArpNode arp_node(const std::string& sender_ip, const std::string& sender_mac, const std::string& target_ip,
                  const std::string& target_mac, unsigned char op = 2);
// `ip` seen moving from `old_mac` to `new_mac` at `tick`.
HMacChangeItem mac_change(const std::string& ip, const std::string& old_mac, const std::string& new_mac,
                          DWORD tick = 0);

}  // namespace tidewell_test
