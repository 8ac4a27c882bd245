#include "ipv6guard/HIpv6Report.h"

#include <map>

#include "frame/HPTWGlobal.h"
#include "host/HNetworkUtil.h"

void HIpv6Report::neighbour(const unsigned char* mac, const HIpv6Address& router) {
  send(true, L"AntiARP_RP_ND", 6, mac, router);
}

void HIpv6Report::advert(const unsigned char* mac, const HIpv6Address& router) {
  send(true, L"AntiARP_RP_RA", 7, mac, router);
}

void HIpv6Report::dhcp6(const unsigned char* mac, const HIpv6Address& server) {
  send(false, L"AntiARP_RP_DHCP6", 8, mac, server);
}

void HIpv6Report::send(bool b_arp, const wchar_t* id, int lan_id, const unsigned char* mac, const HIpv6Address& ip) {
  std::map<HString, HString> desc;
  desc[L"mac"] = HNetworkUtil::GetMACString(mac);
  desc[L"ip"] = HString(HIpv6Text::format(ip));
  HPTWGlobal::ins().report_attack(b_arp, desc, id, lan_id);
}
