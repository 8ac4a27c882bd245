// The IPv6 guard: which neighbour advertisements, router advertisements
// and DHCPv6 answers are reported, what is probed and removed, and that no
// packet is read past its end. (A listed router bound, and the router's own
// frames raising nothing, are shown end to end by the IPv6 demo in
// agent_e2e_test and in the lab.)
#include <gtest/gtest.h>

#include "frame/HPTWGlobal.h"
#include "wire/HIpv6Address.h"
#include "host/HNetworkProtocolUtil.h"
#include "host/HWinPCapHelper.h"
#include "ipv6guard/HIpv6Callback.h"
#include "ipv6guard/HIpv6Packet.h"
#include "ipv6guard/HIpv6Watch.h"
#include "platform/MemoryIpv6Table.h"
#include "tests/support/CommonNames.h"
#include "tests/support/PluginEnv.h"

namespace {

using tidewell_test::Bytes;
using tidewell_test::FrameBuilder;

const char kHostMac[] = "02:77:06:00:00:0a";
const char kRouter[] = "fe80::1";
const char kRouterMac[] = "02:77:06:00:00:01";
const char kRogue[] = "fe80::66";
const char kRogueMac[] = "02:77:06:00:00:66";

HIpv6Address ip6(const std::string& text) {
  HIpv6Address address{};
  EXPECT_TRUE(HIpv6Text::parse(text, address)) << text;
  return address;
}

Bytes bytes_of(const HIpv6Address& address) { return Bytes(address.begin(), address.end()); }

// An IPv6 frame behind `extensions` (each a whole extension header whose
// next-header byte is set here). Its checksum stays 0: the guard reads
// frames as a capture with offloaded checksums gives them, unchecked.
Bytes packet(const std::string& eth_src, const std::string& src, uint8_t next, const Bytes& upper,
             std::vector<Bytes> extensions = {}, uint8_t hop_limit = 255) {
  Bytes chain;
  uint8_t first = next;
  for (size_t i = extensions.size(); i-- > 0;) {
    extensions[i][0] = first;
    first = 0;  // hop-by-hop options
    chain.insert(chain.begin(), extensions[i].begin(), extensions[i].end());
  }
  FrameBuilder out;
  out.add_mac("33:33:00:00:00:01").add_mac(eth_src).add16(0x86dd).add16(0x6000).add16(0);
  out.add16(static_cast<uint16_t>(chain.size() + upper.size())).add8(first).add8(hop_limit);
  out.add(bytes_of(ip6(src))).add(bytes_of(ip6("ff02::1"))).add(chain).add(upper);
  return out.bytes();
}

Bytes neighbour_advert(const std::string& eth_src, const std::string& target, const std::string& target_mac) {
  FrameBuilder icmp;
  icmp.add8(136).add8(0).add16(0).add16(0x2000).add16(0).add(bytes_of(ip6(target)));
  icmp.add8(2).add8(1).add_mac(target_mac);
  return packet(eth_src, target, HWireLayout::kIpProtocolIcmpv6, icmp.bytes());
}

Bytes router_advert(const std::string& eth_src, const std::string& src, const std::string& prefix,
                    uint16_t lifetime = 1800) {
  FrameBuilder icmp;
  icmp.add8(134).add8(0).add16(0).add8(64).add8(0).add16(lifetime).add_zero(8);
  icmp.add8(1).add8(1).add_mac(eth_src);
  icmp.add8(3).add8(4).add8(64).add8(0xc0).add_zero(12).add(bytes_of(ip6(prefix)));
  return packet(eth_src, src, HWireLayout::kIpProtocolIcmpv6, icmp.bytes());
}

Bytes dhcp6_advertise(const std::string& eth_src, const Bytes& duid) {
  FrameBuilder udp;
  udp.add16(547).add16(546).add16(static_cast<uint16_t>(8 + 4 + 4 + duid.size())).add16(0);
  udp.add8(2).add8(1).add8(2).add8(3).add16(2).add16(static_cast<uint16_t>(duid.size())).add(duid);
  return packet(eth_src, kRogue, HWireLayout::kIpProtocolUdp, udp.bytes());
}

// The guard over a memory table holding the router with its route, the
// reports recorded, the frames sent kept, the clock the test's.
struct Ipv6Guard {
  explicit Ipv6Guard(bool listed, bool remove_routes = false) {
    platform::Ipv6Router router;
    router.address = ip6(kRouter);
    router.i_ifindex = 3;
    router.b_has_mac = HNetworkProtocolUtil::MakeMACArrayFromString(kRouterMac, router.mac);
    table.set_routers({router});
    platform::set_ipv6_table(&table);
    HIpv6Routers::Settings settings;
    settings.b_remove_rogue_routes = remove_routes;
    if (listed) settings.vt_listed.push_back({router.address, mac(kRouterMac)});
    routers.reset(new HIpv6Routers(settings, mac(kHostMac)));
    std::vector<platform::Ipv6Router> rows;
    table.read_routers(rows);
    routers->refresh(rows, true);
    callback.reset(new HIpv6Callback(*routers, HDhcp6Servers({HString("00:03:00:01:02:77:06:00:00:02"),
                                                              HString(kRouterMac)})));
  }
  ~Ipv6Guard() { platform::set_ipv6_table(nullptr); }
  static HIpv6Routers::Mac mac(const std::string& text) {
    HIpv6Routers::Mac out{};
    HNetworkProtocolUtil::MakeMACArrayFromString(text, out.data());
    return out;
  }
  void feed(const Bytes& frame) { callback->on_packet(frame.data(), static_cast<int>(frame.size())); }
  std::vector<std::string> reports() {
    std::vector<std::string> out;
    for (const ARPSpoofingReport_Local& r : core.reports()) {
      out.push_back(r.str_desc.get_str_direct() + " " + r.mapDesc.at(L"mac").get_str_direct() + " " +
                    r.mapDesc.at(L"ip").get_str_direct());
    }
    return out;
  }

  tidewell_test::PluginEnv env;
  tidewell_test::CoreRecorder core;
  tidewell_test::SentFrames sent;
  tidewell_test::FakeTicks ticks{5000};
  platform::MemoryIpv6Table table;
  std::unique_ptr<HIpv6Routers> routers;
  std::unique_ptr<HIpv6Callback> callback;
};

TEST(Ipv6Guard, ClaimIsReportedOnlyWhenTheProbedOldMacAnswersElseTheRouterMoved) {
  Ipv6Guard guard(false);
  guard.feed(neighbour_advert(kRogueMac, kRouter, kRogueMac));
  // The probe itself is shown valid in the lab, where the router answers it.
  ASSERT_EQ(1u, guard.sent.count());
  Bytes probe = guard.sent.frames()[0];
  EXPECT_EQ(Bytes(16, 0), Bytes(probe.begin() + 22, probe.begin() + 38)) << "from ::, as a duplicate address probe";
  guard.feed(neighbour_advert(kRogueMac, kRouter, kRogueMac));
  EXPECT_EQ(1u, guard.sent.count()) << "one probe per claim";
  guard.ticks.advance(HIpv6Routers::kProbeMs - 1);
  guard.feed(neighbour_advert(kRouterMac, kRouter, kRouterMac));
  ASSERT_EQ(std::vector<std::string>{"AntiARP_RP_ND 02:77:06:00:00:66 fe80::1"}, guard.reports());
  // The kernel's event of the forged entry repeats the claim just confirmed.
  guard.routers->judge_claim(ip6(kRouter), Ipv6Guard::mac(kRogueMac));
  EXPECT_EQ(1u, guard.sent.count()) << "a confirmed claim is not probed again at once";
  guard.ticks.advance(HIpv6Routers::kProbeMs);

  // Silent for the whole probe: the router moved, its new MAC is learned.
  guard.feed(neighbour_advert("02:77:06:00:00:77", kRouter, "02:77:06:00:00:77"));
  guard.ticks.advance(HIpv6Routers::kProbeMs);
  guard.routers->expire_probes();
  guard.feed(neighbour_advert("02:77:06:00:00:77", kRouter, "02:77:06:00:00:77"));
  EXPECT_EQ(1u, guard.reports().size());
  EXPECT_EQ(2u, guard.sent.count()) << "the new MAC is no claim any more";
}

TEST(Ipv6Guard, RogueAdvertsAreReportedAndTheirRoutesRemovedTheRoutersOwnAreNot) {
  Ipv6Guard guard(false, true);
  guard.feed(router_advert(kRouterMac, kRouter, "fd77:6::"));
  // Another MAC for the router's address: a known prefix passes (its
  // link-layer option is a claim and probed), a new one or lifetime 0 not.
  guard.feed(router_advert(kRogueMac, kRouter, "fd77:6::"));
  EXPECT_TRUE(guard.reports().empty());
  EXPECT_EQ(1u, guard.sent.count());
  guard.feed(router_advert(kRogueMac, kRouter, "fd77:66::"));
  guard.feed(router_advert("02:77:06:00:00:67", kRouter, "fd77:6::", 0));
  guard.feed(router_advert(kRogueMac, kRogue, "fd77:66::"));
  EXPECT_EQ((std::vector<std::string>{"AntiARP_RP_RA 02:77:06:00:00:66 fe80::1",
                                      "AntiARP_RP_RA 02:77:06:00:00:67 fe80::1",
                                      "AntiARP_RP_RA 02:77:06:00:00:66 fe80::66"}),
            guard.reports());
  // The rogue's route, as the kernel installed it again, goes at the
  // watch's refresh (not on the capture thread); the router's stays.
  platform::Ipv6Router rogue;
  rogue.address = ip6(kRogue);
  guard.table.set_routers({guard.table.neighbours()[0], rogue});
  guard.feed(router_advert(kRogueMac, kRogue, "fd77:66::"));
  EXPECT_EQ(2u, guard.table.routes().size());
  guard.routers->refresh({}, false);
  EXPECT_EQ(std::vector<HIpv6Address>{ip6(kRouter)}, guard.table.routes());
  EXPECT_TRUE(guard.routers->needs_removals());
}

// (A server listed by its DUID is passed in the IPv6 demo of agent_e2e_test.)
TEST(Ipv6Guard, UnlistedDhcp6ServersAreReportedAServerListedByMacIsNot) {
  Ipv6Guard guard(false);
  guard.feed(dhcp6_advertise(kRouterMac, {0, 3, 0, 1, 2, 0x77, 6, 0, 0, 9}));
  guard.feed(dhcp6_advertise(kRogueMac, {0, 3, 0, 1, 2, 0x77, 6, 0, 0, 0x66}));
  EXPECT_EQ(std::vector<std::string>{"AntiARP_RP_DHCP6 02:77:06:00:00:66 fe80::66"}, guard.reports());
}

// Every cut of every message, extension headers past the bound, a
// forwarded advertisement, options without length: malformed
// ones are counted, none is reported, nothing is read past the end.
TEST(Ipv6Guard, CutAndMalformedPacketsAreCountedNeverReadPastTheirEnd) {
  Ipv6Guard guard(true);
  HWinPCapHelper::instance().reset_for_test();
  Bytes hop_by_hop = {0, 0, 1, 4, 0, 0, 0, 0};
  Bytes forged = neighbour_advert(kRogueMac, kRouter, kRogueMac);
  Bytes behind_options = packet(kRogueMac, kRouter, HWireLayout::kIpProtocolIcmpv6, Bytes(forged.begin() + 54, forged.end()),
                                std::vector<Bytes>(HIpv6Packet::kMaxExtensionHeaders, hop_by_hop));
  Bytes past_bound = packet(kRogueMac, kRouter, HWireLayout::kIpProtocolIcmpv6, Bytes(forged.begin() + 54, forged.end()),
                            std::vector<Bytes>(HIpv6Packet::kMaxExtensionHeaders + 1, hop_by_hop));
  Bytes forwarded = packet(kRogueMac, kRouter, HWireLayout::kIpProtocolIcmpv6, Bytes(forged.begin() + 54, forged.end()), {}, 64);
  Bytes no_option_length = forged;
  no_option_length[79] = 0;
  uint64_t cuts = 0;
  for (const Bytes& frame : {forged, router_advert(kRogueMac, kRogue, "fd77:66::"), dhcp6_advertise(kRogueMac, {1})}) {
    for (size_t len = 0; len < frame.size(); ++len, ++cuts) {
      // A copy of exactly `len` bytes: ASan sees any read past it.
      std::vector<unsigned char> cut(frame.begin(), frame.begin() + len);
      guard.callback->on_packet(cut.empty() ? nullptr : cut.data(), static_cast<int>(len));
    }
  }
  for (const Bytes& frame : {past_bound, forwarded, no_option_length}) guard.feed(frame);
  EXPECT_TRUE(guard.reports().empty());
  EXPECT_EQ(cuts + 2, HWinPCapHelper::instance().stats().frames_bad_ipv6) << "all but the forwarded one";
  guard.feed(behind_options);
  EXPECT_EQ(1u, guard.reports().size()) << "eight extension headers are walked";
}

TEST(Ipv6Guard, AddressTextsAndRouterPairsAreReadAndWrittenInTheirShortestForm) {
  EXPECT_EQ("fe80::1", HIpv6Text::format(ip6("FE80:0:0:0:0:0:0:1")));
  EXPECT_EQ("fd77:6::", HIpv6Text::format(ip6("fd77:6:0::")));
  EXPECT_EQ("1:0:2::3", HIpv6Text::format(ip6("1:0:2:0:0:0:0:3"))) << "the longest zero run is cut";
  EXPECT_EQ("::", HIpv6Text::format(ip6("::")));
  HIpv6Address unused;
  for (const char* bad : {"", ":", "fe80::1::2", "1:2:3:4:5:6:7", "1:2:3:4:5:6:7:8:9", "12345::", "fe80::g", "::1:"}) {
    EXPECT_FALSE(HIpv6Text::parse(bad, unused)) << bad;
  }
  std::pair<HIpv6Address, HIpv6Routers::Mac> router;
  EXPECT_TRUE(HIpv6Watch::parse_router(HString("fe80::1-02:77:06:00:00:01"), router));
  EXPECT_EQ(ip6(kRouter), router.first);
  EXPECT_FALSE(HIpv6Watch::parse_router(HString("fe80::1"), router));
}

}  // namespace
