// The guard's threads at once: capture pushing claims, the guard judging
// them, the refresher re-reading a changing table, the probe thread settling
// changes through set_ip_mac, and another writer of the learned map. Nothing
// may deadlock (a lock-order inversion shows under ThreadSanitizer) and no
// update may be lost.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "arpguard/HGetSysArpTable.h"
#include "arpguard/HThreadTidewell.h"
#include "arpwatch/HTestThread.h"
#include "frame/HPTWGlobal.h"
#include "tests/support/arpguard_support.h"

using namespace arpguard_test;

namespace {

constexpr int kClaims = 1500;
constexpr int kWrites = 1500;
constexpr int kRefreshes = 200;

class GuardConcurrencyTest : public ::testing::Test, public GuardRig {
 protected:
  GuardConcurrencyTest() : GuardRig(Policy(1), 100000) {}
};

TEST_F(GuardConcurrencyTest, RefresherGuardProbeAndWritersRunTogether) {
  std::atomic<bool> capture_done{false};
  std::atomic<bool> guard_done{false};

  std::thread capture([&] {
    for (int i = 0; i < kClaims; ++i) {
      guard->push_arp_node(claim(numbered_ip(80, i), numbered_mac(0x80, i)));  // first sight: learned
      if (i % 10 == 0) guard->push_arp_node(claim(kGatewayIp, numbered_mac(0x0e, i % 7)));  // suspected change
    }
    capture_done = true;
  });
  std::thread judge([&] {
    for (;;) {
      bool pushed_all = capture_done;  // read before the pass: an empty queue then means finished
      if (guard->run_pass()) continue;
      if (pushed_all) break;
      std::this_thread::yield();
    }
    guard_done = true;
  });
  std::thread refresher([&] {
    for (int i = 0; i < kRefreshes; ++i) HPTWGlobal::ins().p_get_sys_arp_table->run_pass();
  });
  std::thread churn([&] {
    for (int i = 0; i < kRefreshes; ++i) {
      DWORD type = i % 2 ? MIB_IPNET_TYPE_STATIC : MIB_IPNET_TYPE_DYNAMIC;
      env.table().set_rows({row(kGatewayIp, kGatewayMac, MIB_IPNET_TYPE_DYNAMIC, 3),
                            row(kGateway2Ip, kGateway2Mac, type, 4)});
    }
  });
  std::thread prober([&] {
    while (!guard_done) {
      probe->run_pass();
      ticks.advance(400);
      std::this_thread::yield();
    }
  });
  std::thread writer([&] {
    for (int i = 0; i < kWrites; ++i) guard->set_ip_mac(HString(numbered_ip(81, i)), HString(numbered_mac(0x81, i)));
  });

  capture.join();
  judge.join();
  refresher.join();
  churn.join();
  prober.join();
  writer.join();

  EXPECT_EQ(0u, guard->queued());
  EXPECT_EQ(0u, guard->dropped());
  for (int i = 0; i < kClaims; ++i) ASSERT_EQ(numbered_mac(0x80, i), learned(numbered_ip(80, i))) << i;
  for (int i = 0; i < kWrites; ++i) ASSERT_EQ(numbered_mac(0x81, i), learned(numbered_ip(81, i))) << i;

  // Every suspected change is settled: silent old MAC, so a spoofer's MAC
  // is learned in the end.
  for (int pass = 0; pass < 100 && probe->pending(); ++pass) {
    probe->run_pass();
    ticks.advance(1000);
  }
  EXPECT_EQ(0u, probe->pending());
  EXPECT_EQ(0u, learned(kGatewayIp).rfind("02:0e:", 0));
  // Mode 1: the guard reports nothing itself; the probe thread reports an
  // old MAC that answered (one spoofer MAC answering for another).
  for (const std::string& id : core.ids()) EXPECT_EQ("AntiARP_RP_ARP", id);
  EXPECT_TRUE(processes.launches().empty());
}

}  // namespace
