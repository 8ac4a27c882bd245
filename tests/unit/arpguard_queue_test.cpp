// The guard's queue takes ARP bodies from the capture callback and nodes in
// text form from elsewhere: one order for both, also across the runs the
// guard takes out at once, the texts turned out as the callback would have
// made them, a sleeping guard woken by a run of claims, and every drop of a
// full queue counted where the agent's summary sees it.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

#include "arpguard/HThreadTidewell.h"
#include "host/HNetworkProtocolUtil.h"
#include "host/HWinPCapHelper.h"
#include "tests/support/arpguard_support.h"

using namespace arpguard_test;

namespace {

// The 28-byte ARP body of a reply from 10.77.1.<n>, 02:77:01:00:00:<n>.
std::vector<unsigned char> body(unsigned char n) {
  return {0, 1, 8, 0, 6, 4, 0, 2,  2, 0x77, 1, 0, 0, n, 10, 77, 1, n,
          2, 0x77, 0, 0, 0, 0x0a, 10, 77, 0, 10};
}

class GuardQueue : public ::testing::Test {
 protected:
  GuardQueue() { guard = &env.make_guard(); }  // its thread is not started
  GuardEnv env;
  HThreadTidewell* guard = nullptr;
};

TEST_F(GuardQueue, BodiesAndTextNodesLeaveInTheOrderTheyCame) {
  guard->push_arp_body(body(1).data());
  HArpNode odd = claim(kOtherIp, "02:77:00:00:00:AA");  // text kept as given
  guard->push_arp_node(odd);
  guard->push_arp_body(body(3).data());
  ASSERT_EQ(3u, guard->queued());

  HArpNode first = guard->pop_arp_node();
  EXPECT_EQ("10.77.1.1", first.sender_ip);
  EXPECT_EQ("02:77:01:00:00:01", first.sender_mac);
  EXPECT_EQ("10.77.0.10", first.target_ip);
  EXPECT_EQ(2, first.op);
  HArpNode second = guard->pop_arp_node();
  EXPECT_EQ(odd.sender_ip, second.sender_ip);
  EXPECT_EQ("02:77:00:00:00:AA", second.sender_mac);
  EXPECT_EQ("10.77.1.3", guard->pop_arp_node().sender_ip);
  EXPECT_EQ(0u, guard->queued());
}

// The guard takes every waiting claim at once: those it holds still count
// as waiting, and claims pushed meanwhile come after them.
TEST_F(GuardQueue, ClaimsTakenForJudgementStayInLineAndCounted) {
  guard->push_arp_body(body(1).data());
  guard->push_arp_body(body(2).data());
  EXPECT_EQ("10.77.1.1", guard->pop_arp_node().sender_ip);
  EXPECT_EQ(1u, guard->queued());
  guard->push_arp_node(claim(kOtherIp, kOtherMac));
  guard->push_arp_body(body(4).data());
  EXPECT_EQ(3u, guard->queued());
  EXPECT_EQ("10.77.1.2", guard->pop_arp_node().sender_ip);
  EXPECT_EQ(kOtherIp, guard->pop_arp_node().sender_ip);
  EXPECT_EQ("10.77.1.4", guard->pop_arp_node().sender_ip);
  EXPECT_FALSE(guard->run_pass());
}

TEST_F(GuardQueue, ARunOfClaimsWakesTheSleepingGuardBeforeItsPoll) {
  auto popped = std::async(std::launch::async, [this] {
    guard->pop_arp_node();  // waits: the queue is empty
    return std::chrono::steady_clock::now();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  std::vector<unsigned char> b = body(7);
  for (size_t i = 0; i < HThreadTidewell::kWakeAtQueued; ++i) guard->push_arp_body(b.data());
  auto pushed = std::chrono::steady_clock::now();
  auto woke = popped.get();
  EXPECT_LT(woke - pushed, std::chrono::milliseconds(HThreadTidewell::kPollMs - 50));
}

TEST_F(GuardQueue, DropsOfAFullQueueAreCountedForTheSummary) {
  HWinPCapHelper::instance().reset_for_test();
  std::vector<unsigned char> b = body(9);
  for (size_t i = 0; i < HThreadTidewell::kMaxQueuedNodes + 5; ++i) guard->push_arp_body(b.data());
  EXPECT_EQ(HThreadTidewell::kMaxQueuedNodes, guard->queued());
  EXPECT_EQ(5u, guard->dropped());
  EXPECT_EQ(5u, HWinPCapHelper::instance().stats().frames_queue_dropped);
  EXPECT_EQ(1u, count_of(env.general_log(), "queue full"));
}

}  // namespace
