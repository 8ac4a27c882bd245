#pragma once
// The IPv6 guard's judgement of the host's default routers. A router is
// known when the kernel had a default route through it (learned from an
// advertisement) at start-up, or, when `guard.ipv6_routers` lists routers,
// when it is listed. Its MAC is the listed one, else the first one learned.
//
// - A claim (a neighbour advertisement, a solicitation or an advertisement
//   with a link-layer option, a kernel neighbour event) that gives a known
//   router another MAC: with a listed MAC the entry is bound to it
//   (permanent) and the claim reported; otherwise the old MAC is asked by a
//   duplicate address probe (a neighbour solicitation from :: sent to it
//   alone), and the claim is reported when the old MAC answers within
//   kProbeMs. When it does not, the router moved: its new MAC is learned.
// - A router advertisement from a router that is not known, or from a
//   known router's address with another MAC that announces a new prefix or
//   a lifetime of 0, is reported; with `b_remove_rogue_routes` the default
//   routes through an unknown router are removed when it is first seen and
//   again at every refresh of the watch thread, as the rogue keeps
//   advertising (at most kMaxRogues rogues, so the capture thread asks the
//   kernel at most that often).
// Called from the capture thread and the watch thread; one lock guards all.
#include <array>
#include <map>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "wire/HIpv6Address.h"
#include "platform/Ipv6Table.h"
#include "platform/WinTypes.h"

class HIpv6Routers {
 public:
  typedef std::array<unsigned char, 6> Mac;
  // A prefix as its 16 bytes followed by its length.
  typedef std::array<unsigned char, 17> Prefix;
  static constexpr DWORD kProbeMs = 1000;
  // Bounds against an advertisement flood from made-up sources: the rogues
  // whose routes are removed, and the prefixes kept per router.
  static constexpr size_t kMaxRogues = 64;
  static constexpr size_t kMaxPrefixes = 64;

  struct Settings {
    std::vector<std::pair<HIpv6Address, Mac>> vt_listed;
    bool b_remove_rogue_routes = false;
  };
  struct Advert {
    HIpv6Address source{};
    Mac eth_source{};
    uint16_t us_lifetime = 0;
    std::vector<Prefix> vt_prefixes;
    bool b_has_source_mac = false;  // the source link-layer option
    Mac source_mac{};
  };

  HIpv6Routers(const Settings& settings, const Mac& host_mac);

  // The kernel's routers: at start-up they become known (unless a list
  // is given); later only their interfaces, and the MACs of routers that
  // have none yet, are taken, and the rogue routes removed again.
  void refresh(const std::vector<platform::Ipv6Router>& routers, bool at_start);
  // `address` now claimed to be at `mac`.
  void judge_claim(const HIpv6Address& address, const Mac& mac);
  void judge_advert(const Advert& advert);
  // Probes whose time is up: the router moved.
  void expire_probes();

  bool needs_removals();

 private:
  // A known router.
  struct Router {
    bool b_listed = false;
    bool b_has_mac = false;
    Mac mac{};
    int i_ifindex = 0;
    bool b_bound = false;
    // A failed binding is tried again at most once per kProbeMs, so that
    // a flood of forged claims does not become a flood of kernel requests.
    bool b_bind_failed = false;
    DWORD dw_bind_failed = 0;
    std::set<Prefix> set_prefixes;
    // A claim waiting for the old MAC's answer.
    bool b_probing = false;
    Mac claimant{};
    DWORD dw_probe_start = 0;
    // The claim the old MAC's answer last confirmed: the same claim again
    // within kProbeMs (the kernel's event of the forged entry, a flood) is
    // not probed again.
    bool b_confirmed = false;
    Mac confirmed{};
    DWORD dw_confirmed = 0;
  };

  // Under mtx_routers.
  void claim_locked(const HIpv6Address& address, Router& router, const Mac& mac);
  void bind_locked(const HIpv6Address& address, Router& router);
  void send_probe(const HIpv6Address& address, const Mac& to);
  void remove_routes_locked(const HIpv6Address& gateway);

  std::mutex mtx_routers;
  std::map<HIpv6Address, Router> map_routers;
  std::set<HIpv6Address> set_rogues;
  bool b_listed = false;
  bool b_remove_rogue_routes = false;
  Mac host_mac;
};
