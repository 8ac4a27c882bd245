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
};
