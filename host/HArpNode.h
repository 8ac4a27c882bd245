#pragma once
// One ARP packet in text form: operation byte (1 request, 2 reply), then the
// four addresses as narrow text (dotted IPv4, MAC "aa:bb:cc:dd:ee:ff").
#include <string>

struct HArpNode {
  unsigned char op = 0;
  std::string sender_ip;
  std::string sender_mac;
  std::string target_ip;
  std::string target_mac;

  bool operator==(const HArpNode& other) const {
    return op == other.op && sender_ip == other.sender_ip && sender_mac == other.sender_mac &&
           target_ip == other.target_ip && target_mac == other.target_mac;
  }
};
