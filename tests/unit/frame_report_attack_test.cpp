// report_attack: the alarm, the record, the log line and the hand-over to
// the audit store.
#include <gtest/gtest.h>

#include <cstdio>
#include <future>
#include <thread>

#include "frame/HPTWGlobal.h"
#include "host/HDataCenter.h"
#include "host/HEventCenter.h"
#include "host/HLanMgr.h"
#include "tests/support/FakeTicks.h"
#include "tests/support/PluginEnv.h"
#include "tests/support/frame_support.h"

using frame_test::Block;

namespace {

class ReportAttack : public ::testing::Test {
 protected:
  void SetUp() override {
    // Distinct texts show which language id was asked for.
    for (int id = 0; id <= 4; ++id) HLanMgr::ins().set_text(id, HString("text" + std::to_string(id) + " {mac}"));
    HDataCenter::GetPolicy()->set_policies(global().vt_arp, {{HString(L"p1"), HString(L"policy p1 says")}});
  }

  HPTWGlobal& global() { return HPTWGlobal::ins(); }
  std::string alarms() { return frame_test::read_file(env.home() + "/core/alarms.jsonl"); }

  tidewell_test::PluginEnv env;  // policy p1, ARP and DHCP protection, online
  frame_test::CoreRecorder core;
};

std::map<HString, HString> mac_map(const char* mac) { return {{HString(L"mac"), HString(mac)}}; }

// Each kind of report: its map whole, its type, the offline mark and the
// language text of its id in the alarm.
TEST_F(ReportAttack, ReportsCarryTheirPolicyMapTypeAndOfflineMark) {
  struct Case {
    bool arp;
    const wchar_t* desc;
    int lan_id;
    std::map<HString, HString> map;
    bool online;
  };
  const Case cases[] = {
      {false, L"AntiARP_RP_DHCP", 4, mac_map("02:00:00:00:00:05"), true},
      {true, L"AntiARP_RP_ARP_BIND", 1, {{L"mac", L"02:00:00:00:00:09"}, {L"macb", L"02:00:00:00:00:01"}, {L"ipb", L"10.77.0.1"}}, true},
      {true, L"AntiARP_RP_ARP_BIND_FAIL", 2, {}, false},
  };
  for (const Case& c : cases) {
    HEventCenter::ins().b_online = c.online ? 1 : 0;
    size_t calls = core.calls();
    EXPECT_EQ(0, global().report_attack(c.arp, c.map, c.desc, c.lan_id));
    ASSERT_EQ(calls + 1, core.calls()) << "offline reports are still tried at once";
    ASSERT_EQ(1u, core.blocks().back().size());
    const ARPSpoofingReport_Local r = core.blocks().back().at(0);
    EXPECT_EQ("p1", frame_test::narrow(r.strPolicyID));
    EXPECT_EQ(c.arp ? 1 : 2, r.iAttackType);
    EXPECT_EQ(c.online ? 0 : 1, r.iOffline);
    EXPECT_EQ(0, r.iElapsed);
    EXPECT_EQ(HString(c.desc).get_str_direct(), frame_test::narrow(r.str_desc));
    EXPECT_EQ(c.map, r.mapDesc);
  }
  std::string alarm = alarms();
  EXPECT_EQ(3u, frame_test::count_of(alarm, "\n"));
  EXPECT_NE(std::string::npos, alarm.find("policy p1 says"));
  EXPECT_NE(std::string::npos, alarm.find("text4 02:00:00:00:00:05"));
  EXPECT_NE(std::string::npos, alarm.find("text1 02:00:00:00:00:09"));
}

TEST_F(ReportAttack, AlarmIsRaisedBeforeTheReportAndEvenWhenRefused) {
  std::string alarm_seen_by_core;
  core.decide([&](const Block&) {
    alarm_seen_by_core = alarms();
    return false;
  });
  EXPECT_EQ(0, global().report_attack(true, mac_map("02:00:00:00:00:07"), L"AntiARP_RP_ARP", 0));
  ASSERT_TRUE(global().flush_reports(10000));
  EXPECT_NE(std::string::npos, alarm_seen_by_core.find("text0 02:00:00:00:00:07"));
  EXPECT_EQ(1u, global().audit_report_mgr.queued());
}

// The MAC numbered `i` in its last two bytes.
std::string mac_of(int i) {
  char mac[18];
  std::snprintf(mac, sizeof mac, "02:00:00:00:%02x:%02x", (i >> 8) & 0xff, i & 0xff);
  return mac;
}

// Two threads report at once while the core refuses for a while: every
// report reaches the core exactly once, each thread's in its own order.
// Each report comes a second after the last, within the gate's budget.
TEST_F(ReportAttack, ConcurrencyTwoReportersLoseNothing) {
  tidewell_test::FakeTicks ticks(0);
  std::mutex mtx;
  std::vector<std::string> accepted;
  int refusals = 30;
  core.decide([&](const Block& block) {
    std::lock_guard<std::mutex> lock(mtx);
    if (refusals > 0) {
      --refusals;
      return false;
    }
    for (const ARPSpoofingReport_Local& r : block) accepted.push_back(frame_test::narrow(r.mapDesc.at(L"mac")));
    return true;
  });
  auto reporter = [&](int who) {
    for (int i = 0; i < 40; ++i) {
      ticks.advance(HReportGate::kBudgetMs);
      global().report_attack(true, mac_map(mac_of(who << 8 | i).c_str()), L"AntiARP_RP_ARP", 0);
    }
  };
  std::thread a(reporter, 1);
  std::thread b(reporter, 2);
  a.join();
  b.join();
  ASSERT_TRUE(global().flush_reports(10000));
  global().audit_report_mgr.report(nullptr);

  ASSERT_EQ(80u, accepted.size());
  int next[3] = {0, 0, 0};
  for (const std::string& mac : accepted) {
    int who = std::stoi(mac.substr(12, 2), nullptr, 16);
    int i = std::stoi(mac.substr(15, 2), nullptr, 16);
    ASSERT_TRUE(who == 1 || who == 2) << mac;
    EXPECT_EQ(next[who], i) << mac;
    next[who] = i + 1;
  }
  EXPECT_EQ(0u, global().audit_report_mgr.queued());
}

// One rogue server's offers, frame after frame: one report, and the repeats
// counted in one line once the 60 s window has ended, across the tick
// counter's wrap.
TEST_F(ReportAttack, RegressionRepeatedReportFloodsCoreAndOutput) {
  tidewell_test::FakeTicks ticks(0xFFFFFFFFu - 1000);
  size_t before = frame_test::log_size();
  for (int i = 0; i < 5; ++i) global().report_attack(false, mac_map("02:00:00:00:00:05"), L"AntiARP_RP_DHCP", 4);
  ticks.advance(HReportGate::kWindowMs - 1);
  global().report_attack(false, mac_map("02:00:00:00:00:05"), L"AntiARP_RP_DHCP", 4);
  EXPECT_EQ(1u, core.calls());
  ticks.advance(1);
  global().report_attack(false, mac_map("02:00:00:00:00:05"), L"AntiARP_RP_DHCP", 4);
  EXPECT_EQ(2u, core.calls());
  EXPECT_EQ(2u, frame_test::count_of(alarms(), "\n"));
  EXPECT_EQ(1u, frame_test::count_of(frame_test::log_since(before),
                                     "AntiARP_RP_DHCP mac=02:00:00:00:00:05: 5 repeats within 60 s suppressed\n"));
}

// A new source MAC per frame: 20 new reports of a kind a second go out, the
// rest is counted in one line a second; another kind keeps its own budget.
TEST_F(ReportAttack, RegressionNewSourcePerFrameFloodIsNotCapped) {
  tidewell_test::FakeTicks ticks(5000);
  size_t before = frame_test::log_size();
  for (int i = 0; i < 100; ++i) global().report_attack(false, mac_map(mac_of(i).c_str()), L"AntiARP_RP_DHCP", 4);
  global().report_attack(true, mac_map("02:00:00:00:00:66"), L"AntiARP_RP_ARP", 0);
  ASSERT_EQ(HReportGate::kNewKeysPerSecond + 1, core.calls());
  EXPECT_EQ("AntiARP_RP_ARP", core.ids().back());
  const char* first_line = "reports suppressed: 80 new over the budget of 20 a second";
  EXPECT_EQ(1u, frame_test::count_of(frame_test::log_since(before), first_line));
  global().report_attack(false, mac_map(mac_of(100).c_str()), L"AntiARP_RP_DHCP", 4);
  global().flush_reports(10000);
  EXPECT_EQ(1u, frame_test::count_of(frame_test::log_since(before), "reports suppressed:")) << "once a second";
  ticks.advance(HReportGate::kBudgetMs);
  global().report_attack(false, mac_map(mac_of(101).c_str()), L"AntiARP_RP_DHCP", 4);
  EXPECT_EQ(HReportGate::kNewKeysPerSecond + 2, core.calls());
  EXPECT_EQ(1u, frame_test::count_of(frame_test::log_since(before), "reports suppressed: 1 new over the budget"));
}

// A core that takes its time (a slow disk sync) held the capture thread:
// reports are only queued, go out in their order, and none is lost at stop.
TEST_F(ReportAttack, RegressionSlowCoreHoldsTheReportingThread) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  bool waited_out = false;
  core.decide([&](const Block&) {
    waited_out = waited_out || released.wait_for(std::chrono::seconds(10)) != std::future_status::ready;
    return true;
  });
  const wchar_t* ids[] = {L"AntiARP_RP_DHCP", L"AntiARP_RP_ARP", L"AntiARP_RP_ARP_NO_BIND", L"AntiARP_RP_ARP_BIND"};
  for (const wchar_t* id : ids) global().report_attack(true, mac_map("02:00:00:00:00:07"), id, 0);
  release.set_value();
  global().stop_reports();
  EXPECT_FALSE(waited_out) << "report_attack waited for the core";
  EXPECT_EQ(std::vector<std::string>({"AntiARP_RP_DHCP", "AntiARP_RP_ARP", "AntiARP_RP_ARP_NO_BIND",
                                      "AntiARP_RP_ARP_BIND"}),
            core.ids());
}

}  // namespace
