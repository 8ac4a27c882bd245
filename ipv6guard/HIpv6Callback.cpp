#include "ipv6guard/HIpv6Callback.h"

#include <algorithm>

#include "ipv6guard/HIpv6Packet.h"

namespace {

constexpr unsigned char kOptSourceMac = 1;
constexpr unsigned char kOptTargetMac = 2;
constexpr unsigned char kOptPrefix = 3;
constexpr int kPrefixOptionLen = 32;
// Where the options start: behind the advertisement's timers, behind a
// solicitation's or advertisement's target.
constexpr int kRouterAdvertOptions = 16;
constexpr int kNeighbourOptions = 24;

// Hands each option of `data` (`len` bytes) to visit(type, option,
// option_len); false when one has no length or runs past the end.
template <typename Visit>
bool walk_options(const unsigned char* data, int len, Visit visit) {
  int at = 0;
  for (int option = 0; option < HIpv6Callback::kMaxOptions && at < len; ++option) {
    if (len - at < 2 || data[at + 1] == 0 || data[at + 1] * 8 > len - at) return false;
    visit(data[at], data + at, data[at + 1] * 8);
    at += data[at + 1] * 8;
  }
  return true;
}

HIpv6Routers::Mac mac_of(const unsigned char* at) {
  HIpv6Routers::Mac mac;
  std::copy(at, at + mac.size(), mac.begin());
  return mac;
}

HIpv6Address address_of(const unsigned char* at) {
  HIpv6Address address;
  std::copy(at, at + address.size(), address.begin());
  return address;
}

}  // namespace

HIpv6Callback::HIpv6Callback(HIpv6Routers& routers, const HDhcp6Servers& dhcp6_servers)
    : p_routers(&routers), servers(dhcp6_servers) {}

int HIpv6Callback::on_packet(const unsigned char* frame, int len) {
  p_routers->expire_probes();
  HIpv6Packet packet;
  HIpv6Packet::Kind kind = packet.read(frame, len);
  bool fits = kind != HIpv6Packet::Kind::kMalformed;
  if (kind == HIpv6Packet::Kind::kIcmp) fits = on_icmp(packet);
  if (kind == HIpv6Packet::Kind::kUdp) fits = servers.judge(packet);
  if (!fits) HWinPCapHelper::instance().count_not_judged(HWinPCapHelper::NotJudged::bad_ipv6);
  return 0;
}

bool HIpv6Callback::on_icmp(const HIpv6Packet& packet) {
  const unsigned char* icmp = packet.upper();
  int len = packet.upper_length();
  unsigned char type = icmp[0];
  if (type < kRouterAdvert || type > kNeighbourAdvert) return true;
  // The host drops neighbour discovery that a router may have forwarded.
  if (packet.hop_limit() != 255 || icmp[1] != 0) return true;
  if (type == kRouterAdvert) return on_advert(packet);
  if (len < kNeighbourOptions) return false;
  // A solicitation claims its source's MAC, an advertisement its target's.
  const unsigned char* claimed = type == kNeighbourAdvert ? icmp + 8 : packet.ip_source();
  unsigned char wanted = type == kNeighbourAdvert ? kOptTargetMac : kOptSourceMac;
  const unsigned char* mac = nullptr;
  bool fits = walk_options(icmp + kNeighbourOptions, len - kNeighbourOptions,
                           [&](unsigned char option, const unsigned char* at, int size) {
                             if (option == wanted && size == 8) mac = at + 2;
                           });
  if (!fits) return false;
  if (mac) p_routers->judge_claim(address_of(claimed), mac_of(mac));
  return true;
}

bool HIpv6Callback::on_advert(const HIpv6Packet& packet) {
  const unsigned char* icmp = packet.upper();
  int len = packet.upper_length();
  if (len < kRouterAdvertOptions) return false;
  // The host takes advertisements from link-local sources only.
  const unsigned char* source = packet.ip_source();
  if (source[0] != 0xfe || (source[1] & 0xc0) != 0x80) return true;
  HIpv6Routers::Advert advert;
  advert.source = address_of(packet.ip_source());
  advert.eth_source = mac_of(packet.eth_source());
  advert.us_lifetime = HIpv6Packet::read_u16(icmp + 6);
  bool fits = walk_options(icmp + kRouterAdvertOptions, len - kRouterAdvertOptions,
                           [&](unsigned char option, const unsigned char* at, int size) {
                             if (option == kOptSourceMac && size == 8) {
                               advert.b_has_source_mac = true;
                               advert.source_mac = mac_of(at + 2);
                             }
                             if (option == kOptPrefix && size == kPrefixOptionLen) {
                               HIpv6Routers::Prefix prefix;
                               std::copy(at + 16, at + 32, prefix.begin());
                               prefix[16] = at[2];
                               advert.vt_prefixes.push_back(prefix);
                             }
                           });
  if (!fits) return false;
  p_routers->judge_advert(advert);
  return true;
}
