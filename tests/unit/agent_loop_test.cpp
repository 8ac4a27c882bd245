// The main loop's pace: the linger after a replay cuts the --run-for
// deadline short but never lengthens it, heartbeats keep their period
// without drifting, and the wait never passes a deadline or a heartbeat.
#include <gtest/gtest.h>

#include "agent/AgentLoop.h"

namespace {

using Clock = AgentLoop::Clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

const Clock::time_point kStart = Clock::time_point(seconds(1000));

TEST(AgentLoopDeadline, LingerEndsTheRunOnceAndNeverLengthensRunFor) {
  AgentLoop loop(kStart, 0, 30, 2.5);
  EXPECT_FALSE(loop.ended(kStart + seconds(100000)));
  EXPECT_FALSE(loop.start_linger(false, kStart + seconds(1)));
  EXPECT_TRUE(loop.start_linger(true, kStart + seconds(10)));
  EXPECT_TRUE(loop.lingering());
  // A second report of the end does not move the deadline on.
  EXPECT_FALSE(loop.start_linger(true, kStart + seconds(12)));
  EXPECT_FALSE(loop.ended(kStart + milliseconds(12499)));
  EXPECT_TRUE(loop.ended(kStart + milliseconds(12500)));
  AgentLoop run_for(kStart, 4, 30, 5);
  EXPECT_TRUE(run_for.start_linger(true, kStart + seconds(3)));
  EXPECT_FALSE(run_for.ended(kStart + milliseconds(3999)));
  EXPECT_TRUE(run_for.ended(kStart + seconds(4)));
}

TEST(AgentLoopHeartbeat, DueOncePerPeriodWithoutDrift) {
  AgentLoop loop(kStart, 0, 30, 5);
  EXPECT_FALSE(loop.heartbeat_due(kStart + seconds(29)));
  // A late round still keeps the next heartbeat on the 30-second grid.
  EXPECT_TRUE(loop.heartbeat_due(kStart + seconds(31)));
  EXPECT_FALSE(loop.heartbeat_due(kStart + seconds(59)));
  EXPECT_TRUE(loop.heartbeat_due(kStart + seconds(60)));
}

TEST(AgentLoopWait, NeverPastTheDeadlineOrTheHeartbeatNorBelowZero) {
  AgentLoop loop(kStart, 10, 30, 5);
  EXPECT_EQ(loop.next_wait(kStart, milliseconds(200)), Clock::duration(milliseconds(200)));
  EXPECT_EQ(loop.next_wait(kStart + milliseconds(9950), milliseconds(200)), Clock::duration(milliseconds(50)));
  EXPECT_EQ(loop.next_wait(kStart + seconds(11), milliseconds(200)), Clock::duration::zero());
  AgentLoop beats(kStart, 0, 1, 5);
  EXPECT_EQ(beats.next_wait(kStart + milliseconds(900), milliseconds(200)), Clock::duration(milliseconds(100)));
  EXPECT_DOUBLE_EQ(beats.seconds(kStart + milliseconds(1500)), 1.5);
}

}  // namespace
