// The administrator's alarm command, one pass at a time on a clock of the
// test's, with real programs (shell scripts): Linux only.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "host/HAlarmCommand.h"
#include "tests/support/TestHome.h"

namespace {

using Clock = HAlarmCommand::Clock;

class AlarmCommand : public ::testing::Test {
 protected:
  std::string script(const std::string& name, const std::string& body) {
    std::string path = dir.file(name);
    tidewell_test::write_file(path, "#!/bin/sh\n" + body + "\n");
    ::chmod(path.c_str(), 0700);
    return path;
  }
  // Passes until every run has ended by itself (bounded, not timed).
  size_t settle(HAlarmCommand& runner) {
    size_t left = 0;
    for (int i = 0; i < 1000 && (left = runner.run_pass(t0)) > 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return left;
  }

  tidewell_test::TempDir dir{"tidewell-alarm-command"};
  Clock::time_point t0 = Clock::now();
};

TEST_F(AlarmCommand, GetsTheAlarmOnStandardInputAndFailuresAreLogged) {
  HAlarmCommand runner;
  EXPECT_FALSE(runner.push("{}\n")) << "no command configured";
  runner.configure(script("hook", "cat > \"$0.in\""), 10000);
  ASSERT_TRUE(runner.push("{\"kind\":\"alarm\"}\n"));
  EXPECT_EQ(0u, settle(runner));
  EXPECT_EQ("{\"kind\":\"alarm\"}\n", tidewell_test::read_file(dir.file("hook.in")));
  EXPECT_EQ(0u, runner.failed());

  runner.configure(script("fails", "exit 3"), 10000);
  runner.push("{}\n");
  EXPECT_EQ(0u, settle(runner));
  runner.configure(dir.file("missing"), 10000);
  runner.push("{}\n");
  EXPECT_EQ(0u, settle(runner));
  EXPECT_EQ(2u, runner.failed());
  std::string log = tidewell_test::general_log();
  EXPECT_NE(std::string::npos, log.find(dir.file("fails") + " exit status 3"));
  EXPECT_NE(std::string::npos, log.find(dir.file("missing") + " did not start"));
}

TEST_F(AlarmCommand, AtMostFourRunAndEachIsKilledAndReapedAtItsDeadline) {
  HAlarmCommand runner;
  runner.configure(script("hangs", "exec sleep 30"), 10000);
  for (int i = 0; i < 6; ++i) ASSERT_TRUE(runner.push("{}\n"));
  EXPECT_EQ(6u, runner.run_pass(t0));
  EXPECT_EQ(4u, runner.running());
  EXPECT_EQ(6u, runner.run_pass(t0 + std::chrono::milliseconds(9999)));
  EXPECT_EQ(0u, runner.failed());
  EXPECT_EQ(2u, runner.run_pass(t0 + std::chrono::seconds(10)));
  EXPECT_EQ(4u, runner.failed());
  EXPECT_EQ(0u, runner.run_pass(t0 + std::chrono::seconds(20)));
  EXPECT_EQ(6u, runner.failed());
  EXPECT_NE(std::string::npos, tidewell_test::general_log().find(dir.file("hangs") + " killed after 10000 ms"));
  // None left a zombie: this process has no child left to wait for.
  EXPECT_EQ(-1, ::waitpid(-1, nullptr, WNOHANG));
  EXPECT_EQ(ECHILD, errno);
}

TEST_F(AlarmCommand, FullQueueDropsAndCounts) {
  HAlarmCommand runner;
  runner.configure(script("hook", "true"), 10000);
  const size_t said = tidewell_test::count_of(tidewell_test::general_log(), "further alarms dropped");
  for (size_t i = 0; i < HAlarmCommand::kMaxQueued; ++i) ASSERT_TRUE(runner.push("{}\n"));
  EXPECT_FALSE(runner.push("{}\n"));
  EXPECT_FALSE(runner.push("{}\n"));
  EXPECT_EQ(2u, runner.dropped());
  EXPECT_EQ(said + 1, tidewell_test::count_of(tidewell_test::general_log(), "further alarms dropped")) << "said once";
  EXPECT_EQ(0u, settle(runner));
}

}  // namespace
