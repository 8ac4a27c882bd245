// Where the core's events go besides its files: the stamp of every line,
// the system log, the DHCP window's alarms; and the block ids across a
// rotation of reports.jsonl. The alarm command: host_alarm_command_test.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <nlohmann/json.hpp>

#include "host/HCoreEvents.h"
#include "host/HCoreJson.h"
#include "host/HDataCenter.h"
#include "host/HSysInfoMgr.h"
#include "platform/SystemLog.h"
#include "tests/support/TestHome.h"

namespace {

using nlohmann::json;
using Block = std::vector<ARPSpoofingReport_Local>;

ARPSpoofingReport_Local dhcp_record(uint64_t block_id) {
  ARPSpoofingReport_Local r;
  r.strPolicyID = L"p1";
  r.iAttackType = 2;
  r.str_desc = L"AntiARP_RP_DHCP";
  r.mapDesc[L"mac"] = L"02:79:00:00:00:99";
  r.ull_block_id = block_id;
  return r;
}

int deliver(Block block) {
  int result = -1;
  HDataCenter::report_void_to_core(L"NetSecurity", L"AntiARPSpoofing", &block, 0, result);
  return result;
}

class CoreEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::set_system_log_sink([this](const std::string& line) {
      std::lock_guard<std::mutex> lock(mtx_lines);
      vt_lines.push_back(line);
    });
    HCoreEvents::ins().set_system_log(true);
  }
  void TearDown() override {
    HCoreEvents::ins().set_system_log(false);
    platform::set_system_log_sink(nullptr);
  }
  std::vector<std::string> system_log() {
    EXPECT_TRUE(HCoreEvents::ins().flush(std::chrono::seconds(10)));
    std::lock_guard<std::mutex> lock(mtx_lines);
    return vt_lines;
  }

  tidewell_test::TestHome home;
  std::mutex mtx_lines;
  std::vector<std::string> vt_lines;
};

TEST(CoreJson, TimeIsRfc3339WithTheZoneAcrossDaysAndSmallNegativeOffsets) {
  const int64_t ms = 1796620811123;  // 2026-12-07T05:20:11.123Z
  EXPECT_EQ("2026-12-07T05:20:11.123+00:00", HCoreJson::rfc3339(ms, 0));
  EXPECT_EQ("2026-12-07T10:50:11.123+05:30", HCoreJson::rfc3339(ms, 330));
  EXPECT_EQ("2026-12-06T21:20:11.123-08:00", HCoreJson::rfc3339(ms, -480));
  EXPECT_EQ("2026-12-07T04:50:11.123-00:30", HCoreJson::rfc3339(ms, -30));
}

TEST_F(CoreEvents, LinesCarryTimeHostAndInterfaceAndReachTheSystemLogOnce) {
  HSysInfoMgr::ins().set_interface(L"eth7");
  ASSERT_EQ(0, deliver({dhcp_record(0x1234)}));
  // Offered again (a restart before the sender's queue was rewritten): no
  // second line anywhere.
  ASSERT_EQ(0, deliver({dhcp_record(0x1234)}));
  HDataCenter::pop_alarm_message(L"policy says", L"rogue\nserver");
  std::vector<std::string> lines = home.reports();
  lines.push_back(tidewell_test::read_file(home.file("core/alarms.jsonl")));
  ASSERT_EQ(2u, lines.size());
  for (const std::string& line : lines) {
    json j = json::parse(line);
    std::string time = j.at("time");
    EXPECT_EQ(29u, time.size()) << time;
    EXPECT_EQ('T', time.at(10)) << time;
    EXPECT_EQ(':', time.at(26)) << time;
    EXPECT_EQ(platform::machine_name(), j.at("host"));
    EXPECT_EQ("eth7", j.at("iface"));
  }
  EXPECT_EQ(std::string(",\"block\":\"0000000000001234\"}"), lines[0].substr(lines[0].size() - 28));
  std::vector<std::string> expected = {"report AntiARP_RP_DHCP policy=p1 type=2 mac=02:79:00:00:00:99",
                                       "alarm [policy says] rogue server"};
  EXPECT_EQ(expected, system_log());

  HCoreEvents::ins().set_system_log(false);
  HDataCenter::pop_alarm_message(L"m", L"t");
  EXPECT_EQ(expected, system_log());
}

TEST_F(CoreEvents, WindowAlarmIsRecordedInTheAlarmsFile) {
  HDataCenter::record_window_alarm(L"Velmora - DHCP alarm", L"gateway 10.79.0.1 does not answer");
  ASSERT_EQ(std::vector<std::string>{"window [Velmora - DHCP alarm] gateway 10.79.0.1 does not answer"}, system_log());
  std::vector<std::string> lines = tidewell_test::read_lines(home.file("core/alarms.jsonl"));
  ASSERT_EQ(1u, lines.size());
  json j = json::parse(lines[0]);
  EXPECT_EQ("window", j.at("kind"));
  EXPECT_EQ("Velmora - DHCP alarm", j.at("alarm_msg"));
}

// logrotate moved reports.jsonl away between the core's write and the
// sender's rewrite of its queue: after a restart the block came again and
// was written a second time into the new file.
TEST_F(CoreEvents, RegressionBlockWrittenBeforeARotationIsNotWrittenAgain) {
  ASSERT_EQ(0, deliver({dhcp_record(0xabc)}));
  ASSERT_EQ(0, std::rename(home.file("core/reports.jsonl").c_str(), home.file("core/reports.jsonl.1").c_str()));
  HDataCenter::set_core_dir(HString(home.file("core")));  // the restart: ids read afresh
  ASSERT_EQ(0, deliver({dhcp_record(0xabc)}));
  ASSERT_EQ(0, deliver({dhcp_record(0xdef)}));
  std::vector<std::string> lines = home.reports();
  ASSERT_EQ(1u, lines.size());
  EXPECT_NE(std::string::npos, lines[0].find("0000000000000def"));
}

}  // namespace
