// The DHCP gateway probe's life of a pending gateway: the requests it sends
// (exact frames; their pace is the pending list's, frame_pending_test), the
// answers that settle it, the alarm for a silent one, its bound, and capture
// threads that never wait for it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "dhcpguard/HTestDhcpGateway.h"
#include "host/HLanMgr.h"
#include "platform/WinDebug.h"
#include "platform/WinUser.h"
#include "tests/support/dhcpguard_support.h"

using namespace dhcpguard_test;

namespace {

using Clock = std::chrono::steady_clock;

std::string send_entry(const std::string& ip, DWORD tick) {
  return "Send an Arp packet to " + ip + ", GetTickCount: " + std::to_string(tick);
}

std::string receive_entry(const std::string& ip, DWORD tick) {
  return "Recieve an Arp packet from " + ip + ", GetTickCount: " + std::to_string(tick);
}

// The n-th gateway of 10.78.0.0/16.
std::string gateway(size_t n) { return "10.78." + std::to_string(n / 256) + "." + std::to_string(n % 256); }

class ProbeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::set_windows_headless(true);
    platform::set_window_echo_sink([this](const std::wstring& line) {
      std::lock_guard<std::mutex> lock(mtx_echo);
      vt_echo.push_back(utf8(line));
    });
  }
  void TearDown() override { platform::set_window_echo_sink(nullptr); }

  void add(const std::string& gateway_ip) {
    HDhcpGatewayItem item = gateway_item(gateway_ip);
    probe.add_gateway(item);
  }
  void add_range(size_t from, size_t count) {
    for (size_t n = from; n < from + count; ++n) add(gateway(n));
  }
  bool answer(const std::string& ip) { return probe.check_arp_sender(ip_value(ip)); }
  std::vector<std::string> echoed() {
    std::lock_guard<std::mutex> lock(mtx_echo);
    return vt_echo;
  }
  std::string alarm_text(const std::string& mac) {
    return narrow(HLanMgr::ins().get(777, L"mac", HString(mac)));
  }

  DhcpEnv env;
  SentFrames sent;
  FakeTicks ticks{10000};
  HTestDhcpGateway probe;
  std::mutex mtx_echo;
  std::vector<std::string> vt_echo;
};

TEST_F(ProbeTest, SilentGatewayGetsThreeRequestsThenOneAlarm) {
  add(kGatewayIp);
  // The retries' pace is the pending list's (frame_pending_test).
  for (DWORD tick : {10000u, 11000u, 12100u}) {
    ticks.set(tick);
    probe.run_pass();
  }
  EXPECT_EQ(1u, probe.pending());
  ticks.set(13100);
  probe.run_pass();  // alarm
  EXPECT_EQ(0u, probe.pending());
  ticks.set(20000);
  probe.run_pass();

  std::vector<Bytes> frames = sent.frames();
  ASSERT_EQ(3u, frames.size());
  std::string log = env.attack_log();
  for (size_t i = 0; i < frames.size(); ++i) {
    EXPECT_EQ(hex(probe_request(kHostMac, kOfferedIp, kGatewayIp, i > 0)), hex(frames[i])) << i;
    EXPECT_EQ(1u, count_of(log, send_entry(kGatewayIp, i == 0 ? 10000 : i == 1 ? 11000 : 12100))) << i;
  }
  EXPECT_EQ(1u, count_of(log, alarm_text(kServerMac)));
  EXPECT_LT(log.find(send_entry(kGatewayIp, 12100)), log.find(alarm_text(kServerMac)));

  // The alarm window showed the server's MAC (headless: on the output).
  ASSERT_TRUE(eventually([this] { return !echoed().empty(); }));
  EXPECT_NE(std::string::npos, echoed()[0].find(kServerMac));
}

TEST_F(ProbeTest, AnswerSettlesTheGatewayAtEveryStage) {
  // Before the first request: nothing is ever sent.
  add(kGatewayIp);
  EXPECT_TRUE(answer(kGatewayIp));
  probe.run_pass();
  EXPECT_TRUE(sent.frames().empty());

  // After the first request.
  add(kGatewayIp);
  probe.run_pass();
  ticks.advance(300);
  EXPECT_TRUE(answer(kGatewayIp));
  EXPECT_EQ(1u, count_of(env.attack_log(), receive_entry(kGatewayIp, 10300)));
  ticks.advance(5000);
  probe.run_pass();
  EXPECT_EQ(1u, sent.frames().size());

  // After the second request, one period before the alarm.
  add(kGatewayIp);
  probe.run_pass();
  ticks.advance(1000);
  probe.run_pass();
  ticks.advance(1000);
  probe.run_pass();
  EXPECT_EQ(4u, sent.frames().size());
  EXPECT_TRUE(answer(kGatewayIp));
  ticks.advance(1000);
  probe.run_pass();
  EXPECT_EQ(4u, sent.frames().size());
  EXPECT_EQ(0u, count_of(env.attack_log(), alarm_text(kServerMac)));
  EXPECT_TRUE(echoed().empty());
}

// Offers and answers on two capture threads: every gateway queued is heard
// exactly once (as many as the pending list takes).
TEST_F(ProbeTest, QueuedGatewaysAreHeardOnceWhileAnotherThreadQueues) {
  constexpr int kGateways = static_cast<int>(HTestDhcpGateway::kMaxPendingGateways);
  std::atomic<int> queued{0};
  std::thread offers([&] {
    for (int i = 0; i < kGateways; ++i) {
      add(gateway(i));
      queued = i + 1;
    }
  });
  int heard_count = 0;
  for (int i = 0; i < kGateways; ++i) {
    while (queued.load() <= i) std::this_thread::yield();
    heard_count += answer(gateway(i)) ? 1 : 0;
  }
  offers.join();
  EXPECT_EQ(kGateways, heard_count);
  EXPECT_EQ(0u, probe.pending());
}

// Under a flood of offers naming ever new gateways the pending list stays
// within its bound and what it cannot take is counted.
TEST_F(ProbeTest, PendingListStopsAtItsBoundAndCountsTheRest) {
  const size_t bound = HTestDhcpGateway::kMaxPendingGateways;
  add_range(0, bound);
  EXPECT_EQ(bound, probe.pending());
  EXPECT_EQ(0u, probe.dropped());
  add(gateway(0));  // already pending: ignored, not dropped
  EXPECT_EQ(0u, probe.dropped());
  add_range(bound, 10);
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
    if (utf8(text).find(alarm) != std::string::npos) ++alarms_logged;
  });
  // First alarm: its window opens and stays.
  add(gateway(1));
  probe.run_pass();
  for (int period = 0; period < 3; ++period) {
    ticks.advance(HTestDhcpGateway::kRetryIntervalMs);
    probe.run_pass();
  }
  ASSERT_EQ(1, alarms_logged.load());
  ASSERT_TRUE(wait_for_window(HLanMgr::ins().get(779, L"name", L"Velmora")) != nullptr);

  // The next alarm, past the minute in which it would only be counted, looks
  // for a window under another title, which is not there.
  ticks.advance(HReportGate::kWindowMs);
  HString title = HLanMgr::ins().get(779, L"name", L"{name}");
  HLanMgr::ins().set_text(779, L"unseen title");
  add(gateway(2));
  probe.run_pass();
  for (int period = 0; period < 2; ++period) {
    ticks.advance(HTestDhcpGateway::kRetryIntervalMs);
    probe.run_pass();
  }
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
