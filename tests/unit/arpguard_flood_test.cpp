// The guard under floods: its learned map stops growing at its bound when
// claims come from ever new addresses (the claims it no longer learns are
// counted and logged; that the gateways are still learned and guarded is
// shown by the lab's ARP flood), and the attack-log filter's list of
// reported MACs stops growing when ever new MACs each claim both gateways.
#include <gtest/gtest.h>

#include <string>

#include "arpguard/HArpAttackFilter.h"
#include "arpguard/HThreadTidewell.h"
#include "frame/AttackLog.h"
#include "host/HLanMgr.h"
#include "tests/support/MacChange.h"
#include "tests/support/arpguard_support.h"

using namespace arpguard_test;
using tidewell_test::mac_change;

namespace {

class ArpGuardFlood : public ::testing::Test {
 protected:
  // First claims from `count` new addresses (on no adapter, no gateway),
  // numbered from `from`.
  void flood(size_t from, size_t count) {
    for (size_t n = from; n < from + count; ++n) guard.check_arp_node(claim(numbered_ip(78, n), "02:78:00:00:00:01"));
  }

  FakeTicks ticks{5000};
  GuardEnv env;
  HThreadTidewell& guard = env.make_guard();
  ProcessRecorder processes;
  CoreRecorder core;
};

TEST_F(ArpGuardFlood, MapStopsAtItsBoundAndCountsWhatItNoLongerLearns) {
  flood(0, HThreadTidewell::kMaxLearned);
  EXPECT_EQ(HThreadTidewell::kMaxLearned, guard.learned_count());
  EXPECT_EQ(0u, guard.unlearned());

  flood(HThreadTidewell::kMaxLearned, 3);
  EXPECT_EQ(HThreadTidewell::kMaxLearned, guard.learned_count());
  EXPECT_EQ(3u, guard.unlearned());
  HString mac;
  EXPECT_FALSE(guard.learned_mac(HString(numbered_ip(78, HThreadTidewell::kMaxLearned)), mac));
  EXPECT_TRUE(guard.learned_mac(HString(numbered_ip(78, 0)), mac)) << "what was learned stays";
  EXPECT_NE(std::string::npos,
            env.general_log().find("learned map full (16384 addresses), first claims not learned so far 1"));
}

// The n-th of ever new MACs claiming `ip`.
HMacChangeItem burst_item(const std::string& ip, const std::string& old_mac, size_t n, DWORD tick) {
  return mac_change(ip, old_mac, numbered_mac(0x79, n), tick);
}

TEST_F(ArpGuardFlood, ReportedMacsStopAtTheFilterBoundAndStayReportedOnce) {
  HArpAttackFilter& filter = HArpAttackFilter::ins();
  const size_t macs = HArpAttackFilter::kMaxReported * 3;
  for (size_t n = 0; n < macs; ++n) {
    filter.check(burst_item(kGatewayIp, kGatewayMac, n, 5000));
    filter.check(burst_item(kGateway2Ip, kGateway2Mac, n, 5000));
  }
  EXPECT_LE(filter.reported_count(), HArpAttackFilter::kMaxReported);
  EXPECT_GT(filter.reported_count(), HArpAttackFilter::kMaxReported / 2);
  EXPECT_EQ(0u, filter.recent_count()) << "each reported MAC left the window";
  // The newest MAC is still known: a third claim writes nothing more.
  const std::string newest = numbered_mac(0x79, macs - 1);
  EXPECT_EQ(1u, count_of(env.attack_log(), newest));
  filter.check(burst_item(kGatewayIp, kGatewayMac, macs - 1, 5001));
  filter.check(burst_item(kGateway2Ip, kGateway2Mac, macs - 1, 5001));
  EXPECT_EQ(1u, count_of(env.attack_log(), newest));
}

// The attack-log filter: one MAC claiming several addresses within one
// second is written once to the attack log.
class GuardFilterTest : public ::testing::Test {
 protected:
  GuardFilterTest() { HLanMgr::ins().set_text(769, L"burst {mac} in {ms} ms: {num}"); }

  size_t lines(const std::string& text) { return count_of(env.attack_log(), text); }

  GuardEnv env;
  HArpAttackFilter& filter = HArpAttackFilter::ins();
};

TEST_F(GuardFilterTest, ClaimsOneSecondApartAreABurstAcrossTheTickWrap) {
  filter.check(mac_change(kGatewayIp, kGatewayMac, kSpooferMac, 0xfffffe00u));
  filter.check(mac_change(kGateway2Ip, kGateway2Mac, kSpooferMac, 0x000001e8u));  // 1000 ms later
  EXPECT_EQ(1u, lines("burst 02:77:00:00:0e:0e in 1000 ms: 2"));
  EXPECT_EQ(0u, filter.recent_count());  // the reported MAC's items are gone

  filter.check(mac_change(kGatewayIp, kGatewayMac, kOtherMac, 0xfffffe00u));
  filter.check(mac_change(kGateway2Ip, kGateway2Mac, kOtherMac, 0x000001e9u));  // 1001 ms later
  EXPECT_EQ(0u, lines("burst 02:77:00:00:01:20"));
  EXPECT_EQ(1u, filter.recent_count()) << "the older claim left the window";
}

TEST_F(GuardFilterTest, DifferentNewMacsAreCountedApart) {
  filter.check(mac_change(kGatewayIp, kGatewayMac, kSpooferMac, 5000));
  filter.check(mac_change(kGatewayIp, kGatewayMac, kOtherMac, 5001));
  filter.check(mac_change(kGatewayIp, kGatewayMac, kGateway2Mac, 5002));
  EXPECT_EQ(0u, lines("burst "));
  EXPECT_EQ(3u, filter.recent_count());
  // A second claim of one of them is a burst of that MAC only.
  filter.check(mac_change(kGateway2Ip, kGatewayMac, kOtherMac, 5003));
  EXPECT_EQ(1u, lines("burst "));
  EXPECT_EQ(1u, lines("burst 02:77:00:00:01:20 in 1000 ms: 2"));
  EXPECT_EQ(2u, filter.recent_count());
}

}  // namespace
