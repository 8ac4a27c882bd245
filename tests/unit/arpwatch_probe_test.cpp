// The probe thread's answers to a changed gateway MAC: which settle it, what
// reaches the agent core and the guard's learned map, and the cache repair's
// refusals. (A spoofed and a moved gateway, requests on the wire and the
// repaired entry, are run end to end by the lab's arpwatch tests.)
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "arpguard/HThreadTidewell.h"
#include "arpwatch/HTestThread.h"
#include "cacherepair/HCacheRepair.h"
#include "frame/HPTWGlobal.h"
#include "tests/support/MacChange.h"
#include "tests/support/arpguard_support.h"

using namespace arpguard_test;

namespace {

HMacChangeItem change(const std::string& new_mac, DWORD tick = 0, const std::string& old_mac = kGatewayMac,
                      const std::string& ip = kGatewayIp) {
  return tidewell_test::mac_change(ip, old_mac, new_mac, tick);
}

// The guard in mode 1, whose probe thread reports a confirmed change.
class ProbeTest : public ::testing::Test, public GuardRig {
 protected:
  ProbeTest() : GuardRig(Policy(1), 5000) {}
};

TEST_F(ProbeTest, RegressionSenderTextWithAByteAbove0x7fStillAnswersItsProbe) {
  probe->add_probe(change(kSpooferMac, 0, kGatewayMac, "10.77.3.\xe9"));

  probe->run_pass();
  EXPECT_TRUE(probe->check_answer(claim("10.77.3.\xe9", kGatewayMac)));
}

// --- cache repair --------------------------------------------------------------

// The spoofer's claim took the kernel's entry; the gateway's answer to the
// probe reaches the guard.
class CacheRepairTest : public ProbeTest {
 protected:
  void confirm_spoof(const std::string& ip = kGatewayIp) {
    probe->add_probe(change(kSpooferMac, 0, kGatewayMac, ip));
    probe->run_pass();
    guard->push_arp_node(claim(ip, kGatewayMac));
    ASSERT_TRUE(guard->run_pass());
    ASSERT_EQ(0u, probe->pending());
  }
};

TEST_F(CacheRepairTest, StaticEntryAndNonGatewayAreLeftAndARefusedWriteIsLogged) {
  HCacheRepair::start();
  env.table().set_rows({row(kGatewayIp, kSpooferMac, MIB_IPNET_TYPE_STATIC, 7),
                        row(kOtherIp, kSpooferMac, MIB_IPNET_TYPE_DYNAMIC, 7)});
  confirm_spoof();
  confirm_spoof(kOtherIp);
  EXPECT_EQ(0u, env.table().set_count());

  env.table().set_rows({row(kGatewayIp, kSpooferMac, MIB_IPNET_TYPE_DYNAMIC, 7)});
  env.table().set_set_error(ERROR_ACCESS_DENIED);
  confirm_spoof();
  EXPECT_EQ(1u, env.table().set_count());
  EXPECT_EQ(1u, count_of(env.general_log(), "restore of 10.77.1.1 to 02:77:00:00:01:01 failed: SetIpNetEntry ret 5"));
  EXPECT_EQ(0u, count_of(env.general_log(), "restored "));
}

// --- not an answer -----------------------------------------------------------

// Only an answer to a request that went out (to the old MAC, byte for byte
// the frame below) settles the change.
TEST_F(ProbeTest, AnswerBeforeFirstRequestDoesNotSettle) {
  probe->add_probe(change(kSpooferMac));
  EXPECT_FALSE(probe->check_answer(claim(kGatewayIp, kGatewayMac)));
  EXPECT_EQ(1u, probe->pending());
  EXPECT_EQ(0u, sent.count());

  probe->run_pass();
  ASSERT_EQ(1u, sent.count());
  Bytes request = tidewell_test::arp_request(kGatewayMac, kHostMac, kHostIp, kGatewayMac, kGatewayIp);
  EXPECT_EQ(hex(request), hex(sent.frames()[0]));
  EXPECT_TRUE(probe->check_answer(claim(kGatewayIp, kGatewayMac)));
  std::vector<ARPSpoofingReport_Local> reports = core.reports();
  ASSERT_EQ(1u, reports.size());
  EXPECT_EQ("AntiARP_RP_ARP", narrow(reports[0].str_desc));
  EXPECT_EQ(1, reports[0].iAttackType);
  EXPECT_EQ((std::map<HString, HString>{{L"mac", HString(kSpooferMac)}}), reports[0].mapDesc);
}

// --- the thread --------------------------------------------------------------

// The guard thread answers and adds while the probe thread passes: every
// change ends exactly once, as a report or as an accepted MAC.
TEST_F(ProbeTest, ConcurrencyOfPassesAnswersAndAdds) {
  constexpr int kRounds = 200;
  std::atomic<bool> done{false};
  // The passes move the clock on by at most 500 ms a round: a change
  // settles only after some 3000 ms, so however this thread is scheduled
  // the answers of the even rounds come first, and the odd rounds settle in
  // the passes at the end.
  std::atomic<int> tick_budget{0};
  std::thread passes([&] {
    while (!done.load()) {
      probe->run_pass();
      if (tick_budget.fetch_sub(1) > 0) {
        ticks.advance(1);
      } else {
        std::this_thread::yield();
      }
    }
  });
  auto ip_of = [](int i) { return "10.77.3." + std::to_string(i % 250 + 1); };
  int answered = 0;
  for (int i = 0; i < kRounds; ++i) {
    size_t sent_before = sent.count();
    tick_budget.store(500);
    probe->add_probe(change(kSpooferMac, 0, kGatewayMac, ip_of(i)));
    // Every other change is answered once its request is out.
    for (int spin = 0; spin < 100000 && sent.count() == sent_before; ++spin) std::this_thread::yield();
    if (i % 2 == 0 && probe->check_answer(claim(ip_of(i), kGatewayMac))) ++answered;
  }
  done.store(true);
  passes.join();
  // Settle what is left with passes a second apart, however slow the
  // machine was: no wall-clock wait.
  for (int i = 0; i < 8 && probe->pending() > 0; ++i) {
    ticks.advance(1000);
    probe->run_pass();
  }
  EXPECT_EQ(0u, probe->pending());
  EXPECT_GT(answered, 0);
  EXPECT_EQ(static_cast<size_t>(answered), core.reports().size() + HPTWGlobal::ins().report_gate.suppressed());
  size_t accepted = 0;
  for (int i = 0; i < kRounds; ++i) {
    if (learned(ip_of(i)) == kSpooferMac) ++accepted;
  }
  EXPECT_EQ(static_cast<size_t>(kRounds), accepted + static_cast<size_t>(answered));
}

}  // namespace
