// The attack-log filter: one MAC claiming several addresses within one
// second is written once to the attack log.
#include <gtest/gtest.h>

#include "arpguard/HArpAttackFilter.h"
#include "frame/AttackLog.h"
#include "host/HLanMgr.h"
#include "tests/support/arpguard_support.h"

using namespace arpguard_test;

namespace {

HMacChangeItem item(const std::string& ip, const std::string& old_mac, const std::string& new_mac, DWORD tick) {
  HMacChangeItem change;
  change.ip = HString(ip);
  change.old_mac = HString(old_mac);
  change.new_mac = HString(new_mac);
  change.tick = tick;
  return change;
}

class GuardFilterTest : public ::testing::Test {
 protected:
  GuardFilterTest() { HLanMgr::ins().set_text(769, L"burst {mac} in {ms} ms: {num}"); }

  size_t lines() { return debug.count_containing("burst "); }
  size_t attack_log_lines(const std::string& needle) {
    return count_of(read_file(env.home() + "/log/Attack.log"), needle);
  }

  GuardEnv env;
  DebugRecorder debug;
  HArpAttackFilter& filter = HArpAttackFilter::ins();
};

TEST_F(GuardFilterTest, TwoClaimsOneSecondApartAreABurst) {
  filter.check(item(kGatewayIp, kGatewayMac, kSpooferMac, 5000));
  EXPECT_EQ(0u, lines());
  filter.check(item(kGatewayIp, kOtherMac, kSpooferMac, 6000));
  EXPECT_EQ(1u, debug.count_containing("burst 02:77:00:00:0e:0e in 1000 ms: 2"));
  EXPECT_EQ(1u, attack_log_lines("burst 02:77:00:00:0e:0e in 1000 ms: 2"));
  EXPECT_EQ(0u, filter.recent_count());  // the reported MAC's items are gone
}

TEST_F(GuardFilterTest, TwoClaims1001MsApartAreNot) {
  filter.check(item(kGatewayIp, kGatewayMac, kSpooferMac, 5000));
  filter.check(item(kGatewayIp, kOtherMac, kSpooferMac, 6001));
  EXPECT_EQ(0u, lines());
  EXPECT_EQ(1u, filter.recent_count());
}

TEST_F(GuardFilterTest, WrappedTickCounterStillGivesTheTrueDistance) {
  filter.check(item(kGatewayIp, kGatewayMac, kSpooferMac, 0xfffffe00u));
  filter.check(item(kGateway2Ip, kGateway2Mac, kSpooferMac, 0x000001e8u));  // 1000 ms later
  EXPECT_EQ(1u, debug.count_containing("burst 02:77:00:00:0e:0e in 1000 ms: 2"));

  filter.check(item(kGatewayIp, kGatewayMac, kOtherMac, 0xfffffe00u));
  filter.check(item(kGateway2Ip, kGateway2Mac, kOtherMac, 0x000001e9u));  // 1001 ms later
  EXPECT_EQ(0u, debug.count_containing("burst 02:77:00:00:01:20"));
}

TEST_F(GuardFilterTest, SameItemTwiceReplacesItself) {
  filter.check(item(kGatewayIp, kGatewayMac, kSpooferMac, 5000));
  filter.check(item(kGatewayIp, kGatewayMac, kSpooferMac, 5100));
  filter.check(item(kGatewayIp, kGatewayMac, kSpooferMac, 5900));
  EXPECT_EQ(0u, lines());
  EXPECT_EQ(1u, filter.recent_count());
  // The replacement carries the newer tick: it is still young at 6800.
  filter.check(item(kGateway2Ip, kGateway2Mac, kSpooferMac, 6800));
  EXPECT_EQ(1u, debug.count_containing("in 1000 ms: 2"));
}

TEST_F(GuardFilterTest, ReportedMacIsLoggedOnceForTheLifeOfTheProcess) {
  filter.check(item(kGatewayIp, kGatewayMac, kSpooferMac, 5000));
  filter.check(item(kGateway2Ip, kGateway2Mac, kSpooferMac, 5010));
  for (DWORD i = 0; i < 20; ++i) filter.check(item(kOtherIp, kOtherMac + std::to_string(i), kSpooferMac, 5020 + i));
  EXPECT_EQ(1u, lines());
  EXPECT_EQ(1u, filter.reported_count());
  EXPECT_EQ(0u, filter.recent_count());
}

TEST_F(GuardFilterTest, DifferentNewMacsAreCountedApart) {
  filter.check(item(kGatewayIp, kGatewayMac, kSpooferMac, 5000));
  filter.check(item(kGatewayIp, kGatewayMac, kOtherMac, 5001));
  filter.check(item(kGatewayIp, kGatewayMac, kGateway2Mac, 5002));
  EXPECT_EQ(0u, lines());
  EXPECT_EQ(3u, filter.recent_count());
  // A second claim of one of them is a burst of that MAC only.
  filter.check(item(kGateway2Ip, kGatewayMac, kOtherMac, 5003));
  EXPECT_EQ(1u, lines());
  EXPECT_EQ(1u, debug.count_containing("burst 02:77:00:00:01:20 in 1000 ms: 2"));
  EXPECT_EQ(2u, filter.recent_count());
}

}  // namespace
