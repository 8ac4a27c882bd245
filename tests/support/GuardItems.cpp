#include "tests/support/GuardItems.h"

namespace tidewell_test {

HArpNode arp_node(const std::string& sender_ip, const std::string& sender_mac, const std::string& target_ip,
                  const std::string& target_mac, unsigned char op) {
  HArpNode node;
  node.op = op;
  node.sender_ip = sender_ip;
  node.sender_mac = sender_mac;
  node.target_ip = target_ip;
  node.target_mac = target_mac;
  return node;
}

HMacChangeItem mac_change(const std::string& ip, const std::string& old_mac, const std::string& new_mac,
                          DWORD tick) {
  HMacChangeItem change;
  change.ip = HString(ip);
  change.old_mac = HString(old_mac);
  change.new_mac = HString(new_mac);
  change.tick = tick;
  return change;
}

}  // namespace tidewell_test
