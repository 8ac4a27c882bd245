#include "ipv6guard/HIpv6Routers.h"

#include <algorithm>

#include "host/HFileLog.h"
#include "host/HNetworkProtocolUtil.h"
#include "host/HWinPCapHelper.h"
#include "ipv6guard/HIpv6Packet.h"
#include "ipv6guard/HIpv6Report.h"
#include "platform/WinTime.h"
#include "wire/HWireLayout.h"

namespace {

const wchar_t kSource[] = L".\\HIpv6Routers";
constexpr unsigned char kSolicitation = 135;

std::string text(const HIpv6Address& address) { return HIpv6Text::format(address); }

}  // namespace

HIpv6Routers::HIpv6Routers(const Settings& settings, const Mac& mac)
    : b_listed(!settings.vt_listed.empty()), b_remove_rogue_routes(settings.b_remove_rogue_routes), host_mac(mac) {
  for (const auto& listed : settings.vt_listed) {
    Router& router = map_routers[listed.first];
    router.b_listed = router.b_has_mac = true;
    router.mac = listed.second;
  }
}

void HIpv6Routers::refresh(const std::vector<platform::Ipv6Router>& routers, bool at_start) {
  std::lock_guard<std::mutex> lock(mtx_routers);
  for (const platform::Ipv6Router& row : routers) {
    auto it = map_routers.find(row.address);
    if (it == map_routers.end()) {
      if (!at_start || b_listed) continue;
      it = map_routers.emplace(row.address, Router()).first;
      HFileLog::ins().log(2, kSource, __LINE__, L"IPv6 router %S known", text(row.address).c_str());
    }
    Router& router = it->second;
    router.i_ifindex = row.i_ifindex;
    router.b_bound = row.b_permanent;
    if (!router.b_has_mac && row.b_has_mac) {
      std::copy(row.mac, row.mac + 6, router.mac.begin());
      router.b_has_mac = true;
    }
  }
  for (const HIpv6Address& rogue : set_rogues) remove_routes_locked(rogue);
}

void HIpv6Routers::judge_claim(const HIpv6Address& address, const Mac& mac) {
  std::lock_guard<std::mutex> lock(mtx_routers);
  auto it = map_routers.find(address);
  if (it == map_routers.end()) return;
  claim_locked(address, it->second, mac);
}

void HIpv6Routers::claim_locked(const HIpv6Address& address, Router& router, const Mac& mac) {
  if (!router.b_has_mac) {
    router.mac = mac;
    router.b_has_mac = true;
    return;
  }
  if (mac == router.mac) {
    // The old MAC still answers while a claim for another one waits.
    if (router.b_probing) {
      router.b_probing = false;
      router.b_confirmed = true;
      router.confirmed = router.claimant;
      router.dw_confirmed = GetTickCount();
      HFileLog::ins().log(1, kSource, __LINE__, L"IPv6 router %S claimed by %S: its own MAC still answers",
                          text(address).c_str(), HNetworkProtocolUtil::GetMACString(router.claimant.data()).c_str());
      HIpv6Report::neighbour(router.claimant.data(), address);
    }
    return;
  }
  if (router.b_listed) {
    bind_locked(address, router);
    HIpv6Report::neighbour(mac.data(), address);
    return;
  }
  if (router.b_probing) return;
  if (router.b_confirmed && mac == router.confirmed && DWORD(GetTickCount() - router.dw_confirmed) < kProbeMs) return;
  router.b_probing = true;
  router.claimant = mac;
  router.dw_probe_start = GetTickCount();
  send_probe(address, router.mac);
}

void HIpv6Routers::bind_locked(const HIpv6Address& address, Router& router) {
  if (router.b_bound) return;
  DWORD now = GetTickCount();
  if (router.b_bind_failed && DWORD(now - router.dw_bind_failed) < kProbeMs) return;
  if (router.i_ifindex == 0 || platform::ipv6_table().bind(router.i_ifindex, address, router.mac.data()) != 0) {
    router.b_bind_failed = true;
    router.dw_bind_failed = now;
    HFileLog::ins().log(1, kSource, __LINE__, L"IPv6 router %S could not be bound to %S", text(address).c_str(),
                        HNetworkProtocolUtil::GetMACString(router.mac.data()).c_str());
    return;
  }
  router.b_bound = true;
  router.b_bind_failed = false;
  HFileLog::ins().log(2, kSource, __LINE__, L"IPv6 router %S bound to %S", text(address).c_str(),
                      HNetworkProtocolUtil::GetMACString(router.mac.data()).c_str());
}

void HIpv6Routers::judge_advert(const Advert& advert) {
  std::lock_guard<std::mutex> lock(mtx_routers);
  auto it = map_routers.find(advert.source);
  if (it == map_routers.end()) {
    HIpv6Report::advert(advert.eth_source.data(), advert.source);
    if (b_remove_rogue_routes && set_rogues.size() < kMaxRogues && set_rogues.insert(advert.source).second) {
      remove_routes_locked(advert.source);
    }
    return;
  }
  Router& router = it->second;
  if (!router.b_has_mac) {
    router.mac = advert.eth_source;
    router.b_has_mac = true;
  }
  if (advert.eth_source == router.mac) {
    for (const Prefix& prefix : advert.vt_prefixes) {
      if (router.set_prefixes.size() < kMaxPrefixes) router.set_prefixes.insert(prefix);
    }
  } else {
    bool new_prefix = std::any_of(advert.vt_prefixes.begin(), advert.vt_prefixes.end(),
                                  [&](const Prefix& prefix) { return router.set_prefixes.count(prefix) == 0; });
    if (new_prefix || advert.us_lifetime == 0) HIpv6Report::advert(advert.eth_source.data(), advert.source);
  }
  // The advertisement's link-layer option sets the router's neighbour entry.
  if (advert.b_has_source_mac) claim_locked(advert.source, router, advert.source_mac);
}

void HIpv6Routers::expire_probes() {
  std::lock_guard<std::mutex> lock(mtx_routers);
  DWORD now = GetTickCount();
  for (auto& entry : map_routers) {
    Router& router = entry.second;
    if (!router.b_probing || DWORD(now - router.dw_probe_start) < kProbeMs) continue;
    router.b_probing = false;
    router.mac = router.claimant;
    HFileLog::ins().log(2, kSource, __LINE__, L"IPv6 router %S moved to %S: its old MAC did not answer",
                        text(entry.first).c_str(), HNetworkProtocolUtil::GetMACString(router.mac.data()).c_str());
  }
}

bool HIpv6Routers::needs_removals() {
  std::lock_guard<std::mutex> lock(mtx_routers);
  return !set_rogues.empty();
}

void HIpv6Routers::remove_routes_locked(const HIpv6Address& gateway) {
  int removed = platform::ipv6_table().remove_default_routes(gateway);
  if (removed > 0) {
    HFileLog::ins().log(2, kSource, __LINE__, L"removed %d default route(s) via rogue IPv6 router %S", removed,
                        text(gateway).c_str());
  }
}

// A duplicate address probe: from the unspecified address to the target's
// solicited-node group, in a frame for the old MAC alone. The router
// defends its address with an advertisement to all nodes, which the
// capture sees, and which also puts its MAC back into every cache.
void HIpv6Routers::send_probe(const HIpv6Address& address, const Mac& to) {
  const int kIcmpLen = 24;
  unsigned char frame[HWireLayout::kEthHeaderLen + HWireLayout::kIpv6HeaderLen + kIcmpLen] = {};
  std::copy(to.begin(), to.end(), frame + HWireLayout::kEthDst);
  std::copy(host_mac.begin(), host_mac.end(), frame + HWireLayout::kEthSrc);
  frame[HWireLayout::kEthType] = HWireLayout::kEtherTypeIpv6 >> 8;
  frame[HWireLayout::kEthType + 1] = HWireLayout::kEtherTypeIpv6 & 0xff;
  unsigned char* ip = frame + HWireLayout::kEthHeaderLen;
  ip[0] = 0x60;
  ip[HWireLayout::kIpv6PayloadLen + 1] = kIcmpLen;  // big-endian, below 256
  ip[HWireLayout::kIpv6NextHeader] = HWireLayout::kIpProtocolIcmpv6;
  ip[HWireLayout::kIpv6HopLimit] = 255;
  const unsigned char group[16] = {0xff, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0xff, address[13], address[14], address[15]};
  std::copy(group, group + 16, ip + HWireLayout::kIpv6Destination);
  unsigned char* icmp = ip + HWireLayout::kIpv6HeaderLen;
  icmp[0] = kSolicitation;
  std::copy(address.begin(), address.end(), icmp + 8);
  uint16_t sum = HIpv6Packet::checksum(ip + HWireLayout::kIpv6Source, ip + HWireLayout::kIpv6Destination,
                                       HWireLayout::kIpProtocolIcmpv6, icmp, kIcmpLen);
  icmp[2] = static_cast<unsigned char>(sum >> 8);
  icmp[3] = static_cast<unsigned char>(sum);
  HWinPCapHelper::instance().send_packet(frame, static_cast<int>(sizeof(frame)));
}
