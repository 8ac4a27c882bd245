// The guard's learned map under a flood of claims from ever new addresses:
// it stops growing at its bound, the claims it no longer learns are counted
// and logged at most once a second, and the gateways are still learned and
// guarded when the map is full.
#include <gtest/gtest.h>

#include <string>

#include "arpguard/HThreadTidewell.h"
#include "tests/support/arpguard_support.h"

using namespace arpguard_test;

namespace {

// The n-th address of 10.78.0.0/16 and beyond: on no adapter, no gateway.
std::string flood_ip(size_t n) {
  return "10." + std::to_string(78 + n / 65536) + "." + std::to_string((n / 256) % 256) + "." +
         std::to_string(n % 256);
}

class ArpGuardFlood : public ::testing::Test {
 protected:
  ArpGuardFlood() : env(policy()) {}

  static Policy policy() {
    Policy p;
    p.mode = 2;
    p.auto_bind = 1;
    p.bind_list = std::string(kGatewayIp) + "-" + kGatewayMac;
    return p;
  }

  // First claims from `count` new addresses, numbered from `from`.
  void flood(size_t from, size_t count) {
    for (size_t n = from; n < from + count; ++n) guard.check_arp_node(claim(flood_ip(n), "02:78:00:00:00:01"));
  }
  size_t drop_lines() { return count_of(env.general_log(), "learned map full"); }

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
  EXPECT_EQ(0u, drop_lines());

  flood(HThreadTidewell::kMaxLearned, 3);
  EXPECT_EQ(HThreadTidewell::kMaxLearned, guard.learned_count());
  EXPECT_EQ(3u, guard.unlearned());
  HString mac;
  EXPECT_FALSE(guard.learned_mac(HString(flood_ip(HThreadTidewell::kMaxLearned)), mac));
  EXPECT_TRUE(guard.learned_mac(HString(flood_ip(0)), mac)) << "what was learned stays";
  EXPECT_NE(std::string::npos,
            env.general_log().find("learned map full (16384 addresses), first claims not learned so far 1"));
}

TEST_F(ArpGuardFlood, DropLineAtMostOnceASecond) {
  flood(0, HThreadTidewell::kMaxLearned + 100);
  EXPECT_EQ(1u, drop_lines());
  ticks.advance(999);
  flood(HThreadTidewell::kMaxLearned + 100, 1);
  EXPECT_EQ(1u, drop_lines());
  ticks.advance(1);
  flood(HThreadTidewell::kMaxLearned + 101, 1);
  EXPECT_EQ(2u, drop_lines());
  EXPECT_NE(std::string::npos, env.general_log().find("first claims not learned so far 102"));
}

TEST_F(ArpGuardFlood, GatewayIsStillLearnedAndBoundWhenTheMapIsFull) {
  flood(0, HThreadTidewell::kMaxLearned + 10);
  guard.check_arp_node(claim(kGatewayIp, kGatewayMac));
  HString mac;
  ASSERT_TRUE(guard.learned_mac(HString(kGatewayIp), mac));
  EXPECT_EQ(HString(kGatewayMac), mac);

  // A spoofer's claim is judged as on an empty map: bound to the configured MAC.
  guard.check_arp_node(claim(kGatewayIp, kSpooferMac));
  ASSERT_EQ(1u, core.ids().size());
  EXPECT_EQ("AntiARP_RP_ARP_BIND", core.ids().at(0));
  ASSERT_EQ(1u, processes.launches().size()) << "no table row: arp -s";
  EXPECT_EQ(L"arp -s " + HString(kGatewayIp).wstr() + L" " + HString(kGatewayMac).wstr(),
            processes.launches().at(0).command_line);
}

}  // namespace
