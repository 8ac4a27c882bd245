// The DHCP gateway probe's life of a pending gateway: the requests it sends
// (exact frames, pace, tick-counter wrap), the answers that settle it, the
// alarm for a silent one, and the ARP-answer callback of DHCP-only
// policies.
#include <gtest/gtest.h>

#include <chrono>

#include "arpwatch/HTWPkgCallback.h"
#include "dhcpguard/HDhcpArpWatchCallback.h"
#include "dhcpguard/HDhcpAttackCallback.h"
#include "dhcpguard/HTestDhcpGateway.h"
#include "host/HLanMgr.h"
#include "tests/support/dhcpguard_support.h"

using namespace dhcpguard_test;

namespace {

HDhcpGatewayItem gateway_item(const std::string& gateway_ip, const std::string& server_mac = kServerMac) {
  HDhcpGatewayItem item;
  item.gateway_ip = ip_value(gateway_ip);
  item.client_ip = ip_value(kOfferedIp);
  Bytes client = mac_bytes(kClientMac);
  Bytes server = mac_bytes(server_mac);
  std::copy(client.begin(), client.end(), item.client_mac);
  std::copy(server.begin(), server.end(), item.server_mac);
  // Values a caller might leave behind: the probe starts every item afresh.
  item.b_sent = true;
  item.retry_count = 2;
  item.send_tick = 77;
  return item;
}

std::string send_entry(const std::string& ip, DWORD tick) {
  return "Send an Arp packet to " + ip + ", GetTickCount: " + std::to_string(tick);
}

std::string receive_entry(const std::string& ip, DWORD tick) {
  return "Recieve an Arp packet from " + ip + ", GetTickCount: " + std::to_string(tick);
}

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
  probe.run_pass();  // first request at 10000
  ticks.set(10999);
  probe.run_pass();  // not yet a second
  ticks.set(11000);
  probe.run_pass();  // second request
  ticks.set(12100);
  probe.run_pass();  // third request
  ticks.set(13099);
  probe.run_pass();
  EXPECT_EQ(1u, probe.pending());
  ticks.set(13100);
  probe.run_pass();  // alarm
  EXPECT_EQ(0u, probe.pending());
  ticks.set(20000);
  probe.run_pass();

  std::vector<Bytes> frames = sent.frames();
  ASSERT_EQ(3u, frames.size());
  EXPECT_EQ(hex(probe_request(kClientMac, kOfferedIp, kGatewayIp, false)), hex(frames[0]));
  EXPECT_EQ(hex(probe_request(kClientMac, kOfferedIp, kGatewayIp, true)), hex(frames[1]));
  EXPECT_EQ(hex(probe_request(kClientMac, kOfferedIp, kGatewayIp, true)), hex(frames[2]));

  std::string log = env.attack_log();
  EXPECT_EQ(1u, count_of(log, send_entry(kGatewayIp, 10000)));
  EXPECT_EQ(1u, count_of(log, send_entry(kGatewayIp, 11000)));
  EXPECT_EQ(1u, count_of(log, send_entry(kGatewayIp, 12100)));
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

TEST_F(ProbeTest, EveryArpSenderIsLoggedButOnlyThePendingGatewayCounts) {
  add(kGatewayIp);
  EXPECT_FALSE(answer("10.77.0.9"));
  EXPECT_FALSE(answer(kGateway2Ip));
  EXPECT_EQ(1u, probe.pending());
  EXPECT_TRUE(answer(kGatewayIp));
  EXPECT_FALSE(answer(kGatewayIp));  // already settled
  std::string log = env.attack_log();
  EXPECT_EQ(1u, count_of(log, receive_entry("10.77.0.9", 10000)));
  EXPECT_EQ(1u, count_of(log, receive_entry(kGateway2Ip, 10000)));
  EXPECT_EQ(2u, count_of(log, receive_entry(kGatewayIp, 10000)));
}

// More gateways than the per-frame filter has bits: some share one, and each
// must still be settled by its own sender only, also after others went.
TEST_F(ProbeTest, ManyPendingGatewaysAreEachSettledByTheirOwnSenderOnly) {
  std::vector<std::string> gateways;
  for (int i = 1; i <= 200; ++i) gateways.push_back("10.77." + std::to_string(i / 100) + "." + std::to_string(i % 100 + 1));
  for (const std::string& ip : gateways) add(ip);
  ASSERT_EQ(200u, probe.pending());
  for (int i = 1; i <= 200; ++i) EXPECT_FALSE(answer("10.78.0." + std::to_string(i)));
  EXPECT_EQ(200u, probe.pending());
  // Every other one first, then the rest backwards.
  for (size_t i = 0; i < gateways.size(); i += 2) EXPECT_TRUE(answer(gateways[i])) << gateways[i];
  EXPECT_EQ(100u, probe.pending());
  for (size_t i = gateways.size() - 1; i < gateways.size(); i -= 2) {
    EXPECT_FALSE(answer(gateways[i - 1])) << "settled already: " << gateways[i - 1];
    EXPECT_TRUE(answer(gateways[i])) << gateways[i];
  }
  EXPECT_EQ(0u, probe.pending());
  // A gateway queued again after the list ran empty is seen again.
  add(gateways[7]);
  EXPECT_TRUE(answer(gateways[7]));
}

TEST_F(ProbeTest, PaceSurvivesTheTickCounterWrap) {
  ticks.set(0xFFFFFF00u);
  add(kGatewayIp);
  probe.run_pass();
  ticks.set(0x00000100u);  // 512 ms later, after the wrap
  probe.run_pass();
  EXPECT_EQ(1u, sent.frames().size());
  ticks.set(0x000002E8u);  // 1000 ms after the first request
  probe.run_pass();
  EXPECT_EQ(2u, sent.frames().size());
  EXPECT_EQ(1u, count_of(env.attack_log(), send_entry(kGatewayIp, 0xFFFFFF00u)));
}

TEST_F(ProbeTest, TwoGatewaysKeepTheirOwnTiming) {
  add(kGatewayIp);
  probe.run_pass();  // gateway 1 at 10000
  ticks.set(10500);
  add(kGateway2Ip);
  probe.run_pass();  // gateway 2 at 10500
  ticks.set(11000);
  probe.run_pass();  // gateway 1 again
  EXPECT_TRUE(answer(kGatewayIp));
  ticks.set(11500);
  probe.run_pass();  // gateway 2 again
  for (DWORD t = 12500; t <= 13500; t += 1000) {
    ticks.set(t);
    probe.run_pass();
  }
  std::vector<Bytes> frames = sent.frames();
  ASSERT_EQ(5u, frames.size());
  EXPECT_EQ(hex(probe_request(kClientMac, kOfferedIp, kGatewayIp, false)), hex(frames[0]));
  EXPECT_EQ(hex(probe_request(kClientMac, kOfferedIp, kGateway2Ip, false)), hex(frames[1]));
  EXPECT_EQ(hex(probe_request(kClientMac, kOfferedIp, kGatewayIp, true)), hex(frames[2]));
  EXPECT_EQ(hex(probe_request(kClientMac, kOfferedIp, kGateway2Ip, true)), hex(frames[3]));
  EXPECT_EQ(hex(probe_request(kClientMac, kOfferedIp, kGateway2Ip, true)), hex(frames[4]));
  EXPECT_EQ(0u, probe.pending());
  EXPECT_EQ(1u, count_of(env.attack_log(), alarm_text(kServerMac)));
}

TEST_F(ProbeTest, GatewayQueuedAgainWhilePendingKeepsItsTiming) {
  add(kGatewayIp);
  probe.run_pass();
  ticks.advance(900);
  add(kGatewayIp);
  EXPECT_EQ(1u, probe.pending());
  ticks.advance(100);
  probe.run_pass();
  EXPECT_EQ(2u, sent.frames().size()) << "a re-queued gateway must not start over";
  ticks.advance(1000);
  probe.run_pass();
  ticks.advance(1000);
  probe.run_pass();
  EXPECT_EQ(1u, count_of(env.attack_log(), alarm_text(kServerMac)));
  // Settled gateways can be queued again and start over.
  add(kGatewayIp);
  probe.run_pass();
  EXPECT_EQ(hex(probe_request(kClientMac, kOfferedIp, kGatewayIp, false)), hex(sent.frames().back()));
}

TEST_F(ProbeTest, ArpWatchCallbackFeedsTheProbeOnly) {
  HDhcpAttackCallback dhcp;
  dhcp.test_gateway.stop();
  HDhcpArpWatchCallback watch(&dhcp);
  HDhcpGatewayItem item = gateway_item(kGatewayIp);
  dhcp.test_gateway.add_gateway(item);
  item = gateway_item(kGateway2Ip);
  dhcp.test_gateway.add_gateway(item);

  const std::string gateway_mac = "02:77:00:00:00:01";
  Bytes short_frame = arp_frame(kGatewayIp, gateway_mac, 2, 41);
  watch.on_packet(short_frame.data(), static_cast<int>(short_frame.size()));
  watch.on_packet(nullptr, 60);
  Bytes marked = arp_frame(kGatewayIp, gateway_mac, 2, 60);
  std::copy(kProbeMarker, kProbeMarker + kProbeMarkerLen, marked.begin() + kProbeMarkerOffset);
  watch.on_packet(marked.data(), static_cast<int>(marked.size()));
  EXPECT_EQ(2u, dhcp.test_gateway.pending());
  EXPECT_EQ(2u, watch.dropped_short());
  EXPECT_EQ(1u, watch.dropped_probe());
  EXPECT_EQ(0u, count_of(env.attack_log(), "Recieve an Arp packet"));

  // A reply without padding, and a request from the gateway itself.
  Bytes reply = arp_frame(kGatewayIp, gateway_mac, 2, 42);
  watch.on_packet(reply.data(), static_cast<int>(reply.size()));
  Bytes request = arp_frame(kGateway2Ip, "02:77:00:00:00:02", 1, 60);
  watch.on_packet(request.data(), static_cast<int>(request.size()));
  EXPECT_EQ(0u, dhcp.test_gateway.pending());
  EXPECT_EQ(2u, count_of(env.attack_log(), "Recieve an Arp packet"));
}

TEST_F(ProbeTest, RunningProbeThreadStartsAndStopsPromptly) {
  auto started = std::chrono::steady_clock::now();
  {
    HDhcpAttackCallback callback;  // starts the probe thread
    ASSERT_TRUE(eventually([&] { return count_of(env.general_log(), "HTestDhcpGateway::run() start") == 1; }));
    EXPECT_NE(std::string::npos, env.general_log().find(".\\HTestDhcpGateway(26)"));
  }
  // The destructor waited for the thread, well within one pass.
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
  // A probe that never ran stops at once, and twice is harmless.
  probe.stop();
  probe.stop();
}

}  // namespace
