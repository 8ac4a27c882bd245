// The DHCP gateway probe under a flood of offers naming ever new gateways:
// the pending list stays within its bound, what it cannot take is counted
// and logged at most once a second, and the capture threads never wait
// while an alarm is shown.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "dhcpguard/HTestDhcpGateway.h"
#include "host/HLanMgr.h"
#include "platform/WinDebug.h"
#include "tests/support/dhcpguard_support.h"

using namespace dhcpguard_test;

namespace {

using Clock = std::chrono::steady_clock;

// The n-th gateway of 10.78.0.0/16.
uint32_t gateway(size_t n) {
  return ip_value("10.78." + std::to_string(n / 256) + "." + std::to_string(n % 256));
}

class DhcpProbeFlood : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::set_windows_headless(true);
    platform::set_window_echo_sink([](const std::wstring&) {});
  }
  void TearDown() override { platform::set_window_echo_sink(nullptr); }

  void add(size_t n) {
    HDhcpGatewayItem item;
    item.gateway_ip = gateway(n);
    item.client_ip = ip_value(kOfferedIp);
    Bytes server = mac_bytes(kServerMac);
    std::copy(server.begin(), server.end(), item.server_mac);
    probe.add_gateway(item);
  }
  void add_range(size_t from, size_t count) {
    for (size_t n = from; n < from + count; ++n) add(n);
  }
  size_t drop_lines() { return count_of(env.general_log(), "add_gateway pending list full"); }

  DhcpEnv env;
  SentFrames sent;
  FakeTicks ticks{0xFFFFFF00u};
  HTestDhcpGateway probe;
};

TEST_F(DhcpProbeFlood, PendingListStopsAtItsBoundAndCountsTheRest) {
  const size_t bound = HTestDhcpGateway::kMaxPendingGateways;
  add_range(0, bound);
  EXPECT_EQ(bound, probe.pending());
  EXPECT_EQ(0u, probe.dropped());
  add(0);  // already pending: ignored, not dropped
  EXPECT_EQ(0u, probe.dropped());
  add_range(bound, 10);
  EXPECT_EQ(bound, probe.pending());
  EXPECT_EQ(10u, probe.dropped());
  EXPECT_FALSE(probe.check_arp_sender(gateway(bound))) << "a dropped gateway is not waited for";
  EXPECT_TRUE(probe.check_arp_sender(gateway(bound - 1)));
  EXPECT_NE(std::string::npos,
            env.general_log().find("add_gateway pending list full (256 waiting), gateways dropped so far 1"));
}

TEST_F(DhcpProbeFlood, DropLineAtMostOnceASecondAcrossTheTickWrap) {
  add_range(0, HTestDhcpGateway::kMaxPendingGateways + 50);
  EXPECT_EQ(1u, drop_lines());
  ticks.advance(999);  // across the wrap of the counter
  add(1000);
  EXPECT_EQ(1u, drop_lines());
  ticks.advance(1);
  add(1001);
  EXPECT_EQ(2u, drop_lines());
  EXPECT_NE(std::string::npos, env.general_log().find("gateways dropped so far 52"));
}

TEST_F(DhcpProbeFlood, RoomAgainOnceTheSilentGatewaysHaveRaisedTheirAlarms) {
  add_range(0, HTestDhcpGateway::kMaxPendingGateways);
  probe.run_pass();
  EXPECT_EQ(HTestDhcpGateway::kMaxPendingGateways, sent.count()) << "one request each";
  for (int period = 0; period < 3; ++period) {
    ticks.advance(HTestDhcpGateway::kRetryIntervalMs);
    probe.run_pass();
  }
  EXPECT_EQ(0u, probe.pending());
  EXPECT_EQ(3 * HTestDhcpGateway::kMaxPendingGateways, sent.count());
  add(5000);
  EXPECT_EQ(1u, probe.pending());
  EXPECT_EQ(0u, probe.dropped());
}

// An alarm whose window cannot be found waits for it (up to
// kFindWindowWaitMs); meanwhile offers and ARP answers keep coming on the
// capture threads and must not wait for the list's lock.
TEST_F(DhcpProbeFlood, CaptureThreadsNeverWaitWhileAnAlarmIsShown) {
  platform::set_headless_auto_close(false);
  std::atomic<int> alarms_logged{0};
  const std::string alarm = narrow(HLanMgr::ins().get(777, L"mac", HString(kServerMac)));
  platform::set_debug_sink([&](const std::wstring& text) {
    if (utf8(text).find(alarm) != std::string::npos) ++alarms_logged;
  });
  // First alarm: its window opens and stays.
  add(1);
  probe.run_pass();
  for (int period = 0; period < 3; ++period) {
    ticks.advance(HTestDhcpGateway::kRetryIntervalMs);
    probe.run_pass();
  }
  ASSERT_EQ(1, alarms_logged.load());
  ASSERT_TRUE(wait_for_window(HLanMgr::ins().get(779, L"name", L"Velmora")) != nullptr);

  // The next alarm looks for a window under another title, which is not there.
  HString title = HLanMgr::ins().get(779, L"name", L"{name}");
  HLanMgr::ins().set_text(779, L"unseen title");
  add(2);
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
  add(3);
  bool claimed = probe.check_arp_sender(gateway(3));
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
