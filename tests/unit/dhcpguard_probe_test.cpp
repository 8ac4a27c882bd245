// The DHCP gateway probe's life of a pending gateway: the answers that
// settle it, its bound, and capture threads that never wait for it. (The
// requests and the alarm of a silent gateway are run end to end by the lab's
// dhcpguard tests, their pace by frame_pending_test.)
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "dhcpguard/HTestDhcpGateway.h"
#include "host/HLanMgr.h"
#include "platform/Utf8.h"
#include "platform/WinDebug.h"
#include "platform/WinUser.h"
#include "tests/support/dhcpguard_support.h"

using namespace dhcpguard_test;

namespace {

using Clock = std::chrono::steady_clock;

// The n-th gateway of 10.78.0.0/16.
std::string gateway(size_t n) { return arpguard_test::numbered_ip(78, n); }

class ProbeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::set_windows_headless(true);
    platform::set_window_echo_sink([](const std::wstring&) {});
  }
  void TearDown() override { platform::set_window_echo_sink(nullptr); }

  void add(const std::string& gateway_ip) {
    HDhcpGatewayItem item = gateway_item(gateway_ip);
    probe.add_gateway(item);
  }
  bool answer(const std::string& ip) { return probe.check_arp_sender(ip_value(ip)); }
  // A pass, then `periods` more one retry interval apart.
  void run_passes(int periods) {
    probe.run_pass();
    for (int period = 0; period < periods; ++period) {
      ticks.advance(HTestDhcpGateway::kRetryIntervalMs);
      probe.run_pass();
    }
  }
  std::string alarm_text(const std::string& mac) {
    return narrow(HLanMgr::ins().get(777, L"mac", HString(mac)));
  }

  DhcpEnv env;
  SentFrames sent;
  FakeTicks ticks{10000};
  HTestDhcpGateway probe;
};

TEST_F(ProbeTest, AnswerSettlesTheGatewayBeforeItsFirstRequestAndJustBeforeItsAlarm) {
  // Before the first request: nothing is ever sent.
  add(kGatewayIp);
  EXPECT_TRUE(answer(kGatewayIp));
  probe.run_pass();
  EXPECT_TRUE(sent.frames().empty());

  // After the third request, one period before the alarm.
  add(kGatewayIp);
  run_passes(2);
  EXPECT_EQ(3u, sent.frames().size());
  EXPECT_TRUE(answer(kGatewayIp));
  ticks.advance(HTestDhcpGateway::kRetryIntervalMs);
  probe.run_pass();
  EXPECT_EQ(3u, sent.frames().size());
  EXPECT_EQ(0u, count_of(env.attack_log(), alarm_text(kServerMac)));
}

// Under a flood of offers naming ever new gateways the pending list stays
// within its bound and what it cannot take is counted.
TEST_F(ProbeTest, PendingListStopsAtItsBoundAndCountsTheRest) {
  const size_t bound = HTestDhcpGateway::kMaxPendingGateways;
  for (size_t n = 0; n < bound; ++n) add(gateway(n));
  EXPECT_EQ(bound, probe.pending());
  EXPECT_EQ(0u, probe.dropped());
  add(gateway(0));  // already pending: ignored, not dropped
  EXPECT_EQ(0u, probe.dropped());
  for (size_t n = bound; n < bound + 10; ++n) add(gateway(n));
  EXPECT_EQ(bound, probe.pending());
  EXPECT_EQ(10u, probe.dropped());
  EXPECT_FALSE(answer(gateway(bound))) << "a dropped gateway is not waited for";
  EXPECT_TRUE(answer(gateway(bound - 1)));
}

// An alarm whose window cannot be found waits for it (up to
// kFindWindowWaitMs); meanwhile offers and ARP answers keep coming on the
// capture threads and must not wait for the list's lock.
TEST_F(ProbeTest, CaptureThreadsNeverWaitWhileAnAlarmIsShown) {
  platform::set_headless_auto_close(false);
  std::atomic<int> alarms_logged{0};
  const std::string alarm = alarm_text(kServerMac);
  platform::set_debug_sink([&](const std::wstring& text) {
    if (platform::wide_to_utf8(text).find(alarm) != std::string::npos) ++alarms_logged;
  });
  // First alarm: its window opens and stays.
  add(gateway(1));
  run_passes(3);
  ASSERT_EQ(1, alarms_logged.load());
  ASSERT_TRUE(wait_for_window(HLanMgr::ins().get(779, L"name", L"Velmora")) != nullptr);

  // The next alarm, past the minute in which it would only be counted, looks
  // for a window under another title, which is not there.
  ticks.advance(HReportGate::kWindowMs);
  HString title = HLanMgr::ins().get(779, L"name", L"{name}");
  HLanMgr::ins().set_text(779, L"unseen title");
  add(gateway(2));
  run_passes(2);
  ticks.advance(HTestDhcpGateway::kRetryIntervalMs);
  std::atomic<bool> pass_done{false};
  std::thread pass([&] {
    probe.run_pass();
    pass_done = true;
  });
  ASSERT_TRUE(eventually([&] { return alarms_logged.load() == 2; }));

  Clock::time_point start = Clock::now();
  add(gateway(3));
  bool claimed = answer(gateway(3));
  auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  bool still_showing = !pass_done.load();
  pass.join();
  HLanMgr::ins().set_text(779, title);
  platform::set_debug_sink(nullptr);

  EXPECT_TRUE(claimed);
  EXPECT_TRUE(still_showing) << "the alarm was shown before the capture side was tried";
  EXPECT_LT(waited, 500) << "the capture side waited for the alarm";
}

}  // namespace
