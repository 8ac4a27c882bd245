// The agent core as the plug-in sees it: every accepted block one JSON line
// in core/reports.jsonl, every alarm one in core/alarms.jsonl and on
// standard output, both in the system log; block ids across a rotation of
// reports.jsonl. The alarm command: host_alarm_command_test.
#include <gtest/gtest.h>

#include <cstdio>
#include <future>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/HConsoleWriter.h"
#include "host/HCoreEvents.h"
#include "host/HCoreJson.h"
#include "host/HDataCenter.h"
#include "host/HSysInfoMgr.h"
#include "platform/SystemLog.h"
#include "tests/support/CoreFiles.h"

namespace {

using HostCoreTest = tidewell_test::CoreFilesTest;
using Block = std::vector<ARPSpoofingReport_Local>;

// The line without its stamp (time, host, interface), which tests of the
// stamp check; "no stamp" when it has none.
std::string without_stamp(const std::string& line) {
  size_t at = line.find(",\"time\":\"");
  size_t iface = line.find(",\"iface\":\"", at);
  size_t end = iface == std::string::npos ? iface : line.find('"', iface + 10);
  if (at == std::string::npos || end == std::string::npos) return "no stamp: " + line;
  return line.substr(0, at) + line.substr(end + 1);
}

// The system log's lines gathered instead of sent; records of a block id.
class CoreEvents : public HostCoreTest {
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
    HostCoreTest::TearDown();
  }
  static ARPSpoofingReport_Local with_block_id(uint64_t id) {
    ARPSpoofingReport_Local r = bind_record();
    r.ull_block_id = id;
    return r;
  }
  std::vector<std::string> system_log() {
    EXPECT_TRUE(HCoreEvents::ins().flush(std::chrono::seconds(10)));
    std::lock_guard<std::mutex> lock(mtx_lines);
    return vt_lines;
  }

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

TEST_F(HostCoreTest, EachAcceptedBlockIsOneJsonLineInTheCoresFormRecordsInOrder) {
  Block block = {bind_record()};
  ASSERT_EQ(0, deliver(block));
  std::vector<std::string> lines = reports();
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ(
      "{\"plug\":\"NetSecurity\",\"catalogue\":\"AntiARPSpoofing\",\"records\":[{\"strPolicyID\":\"p1\","
      "\"iAttackType\":1,\"iOffline\":0,\"iElapsed\":0,\"str_desc\":\"AntiARP_RP_ARP_BIND\",\"mapDesc\":{"
      "\"ipb\":\"10.77.0.1\",\"mac\":\"02:00:00:00:00:66\",\"macb\":\"02:00:00:00:00:01\"}}]}",
      without_stamp(lines[0]));

  // Several records in their order (empty blocks: the end-to-end test's start-up reports).
  Block two = {bind_record(), bind_record()};
  two[1].strPolicyID = L"p2";
  two[1].iElapsed = -3;
  ASSERT_EQ(0, deliver(two));
  lines = reports();
  ASSERT_EQ(2u, lines.size());
  auto j = nlohmann::json::parse(lines[1]);
  ASSERT_EQ(2u, j["records"].size());
  EXPECT_EQ("p2", j["records"][1]["strPolicyID"]);
  EXPECT_EQ(-3, j["records"][1]["iElapsed"]);
}

TEST_F(HostCoreTest, StringsAreEscapedIntoValidJson) {
  ARPSpoofingReport_Local r;
  r.strPolicyID = L"quote\" back\\ nl\n tab\t bell\x07 e\x00e9 cjk\x4e2d smile\U0001F600 bad\xD800";
  r.mapDesc[L"k\"ey"] = L"v\r";
  Block block = {r};
  ASSERT_EQ(0, deliver(block));
  std::vector<std::string> lines = reports();
  ASSERT_EQ(1u, lines.size());  // the newline inside stayed escaped
  EXPECT_NE(std::string::npos, lines[0].find("quote\\\" back\\\\ nl\\n tab\\t bell\\u0007"));
  auto j = nlohmann::json::parse(lines[0]);
  EXPECT_EQ("quote\" back\\ nl\n tab\t bell\x07 e\xc3\xa9 cjk\xe4\xb8\xad smile\xf0\x9f\x98\x80 bad\xef\xbf\xbd",
            j["records"][0]["strPolicyID"].get<std::string>());
  EXPECT_EQ("v\r", j["records"][0]["mapDesc"]["k\"ey"].get<std::string>());
}

TEST_F(HostCoreTest, RefusalOrAnUnwritableFolderWritesNothingAndSaysSo) {
  HDataCenter::set_core_accepts(false);
  Block block = {bind_record()};
  int result = 0;  // a caller that forgot to preset must still hear of the refusal
  HDataCenter::report_void_to_core(L"NetSecurity", L"AntiARPSpoofing", &block, 0, result);
  EXPECT_NE(0, result);
  EXPECT_FALSE(tidewell_test::file_exists(home.file("core/reports.jsonl")));
  result = 0;
  EXPECT_EQ(-1, HDataCenter::report_void_to_core(L"NetSecurity", L"AntiARPSpoofing", nullptr, 0, result));
  EXPECT_NE(0, result);

  // A core folder that cannot be made is no acceptance either.
  HDataCenter::set_core_accepts(true);
  tidewell_test::write_file(home.file("blocked"), "a file, not a folder");
  HDataCenter::set_core_dir(HString(home.file("blocked/core")));
  EXPECT_NE(0, deliver(block));
}

// A block offered again (a restart before the sender's queue was rewritten)
// makes no second line anywhere; the system log gets nothing once it is off.
TEST_F(CoreEvents, ReportsAndAlarmsReachTheirFilesStandardOutputAndTheSystemLogOnce) {
  HSysInfoMgr::ins().set_interface(L"eth7");
  Block block = {with_block_id(0x1234)};
  ASSERT_EQ(0, deliver(block));
  ASSERT_EQ(0, deliver(block));
  testing::internal::CaptureStdout();
  HDataCenter::pop_alarm_message(L"Policy \"p1\" says", L"line one\nline two");
  ASSERT_TRUE(HConsoleWriter::ins().flush(std::chrono::seconds(10)));
  EXPECT_EQ("ALARM [Policy \"p1\" says] line one line two\n", testing::internal::GetCapturedStdout());

  std::vector<std::string> lines = reports();
  ASSERT_EQ(1u, lines.size());
  EXPECT_NE(std::string::npos, lines[0].find(",\"iface\":\"eth7\",\"block\":\"0000000000001234\"}")) << lines[0];
  std::vector<std::string> alarms = tidewell_test::read_lines(home.file("core/alarms.jsonl"));
  ASSERT_EQ(1u, alarms.size());
  EXPECT_EQ("{\"alarm_msg\":\"Policy \\\"p1\\\" says\",\"text\":\"line one\\nline two\",\"kind\":\"alarm\"}",
            without_stamp(alarms[0]));
  std::vector<std::string> expected = {
      "report AntiARP_RP_ARP_BIND policy=p1 type=1 ipb=10.77.0.1 mac=02:00:00:00:00:66 macb=02:00:00:00:00:01",
      "alarm [Policy \"p1\" says] line one line two"};
  EXPECT_EQ(expected, system_log());

  HCoreEvents::ins().set_system_log(false);
  HDataCenter::pop_alarm_message(L"m", L"t");
  EXPECT_EQ(expected, system_log());
}

// A full pipe on standard output held whoever raised an alarm: now the
// alarm is on file at once and the lines beyond the queue are dropped,
// counted and logged once.
TEST_F(HostCoreTest, RegressionBlockedStandardOutputHoldsTheAlarm) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  HConsoleWriter::ins().set_sink([released](const std::string&) { released.wait_for(std::chrono::seconds(10)); });
  const size_t alarms = HConsoleWriter::kMaxQueued + 5;
  auto start = std::chrono::steady_clock::now();
  for (size_t i = 0; i < alarms; ++i) HDataCenter::pop_alarm_message(L"m", L"t");
  bool held = std::chrono::steady_clock::now() - start >= std::chrono::seconds(10);
  release.set_value();
  EXPECT_FALSE(held);
  EXPECT_EQ(alarms, tidewell_test::read_lines(home.file("core/alarms.jsonl")).size());
  EXPECT_GE(HConsoleWriter::ins().dropped(), 4u);
  EXPECT_EQ(1u, tidewell_test::count_of(tidewell_test::general_log(), "standard output does not keep up"));
  EXPECT_TRUE(HConsoleWriter::ins().flush(std::chrono::seconds(10)));
  HConsoleWriter::ins().set_sink(nullptr);
}

// logrotate moved reports.jsonl away between the core's write and the
// sender's rewrite of its queue: after a restart the block came again and
// was written a second time into the new file.
TEST_F(CoreEvents, RegressionBlockWrittenBeforeARotationIsNotWrittenAgain) {
  Block first = {with_block_id(0xabc)};
  Block second = {with_block_id(0xdef)};
  ASSERT_EQ(0, deliver(first));
  ASSERT_EQ(0, std::rename(home.file("core/reports.jsonl").c_str(), home.file("core/reports.jsonl.1").c_str()));
  HDataCenter::set_core_dir(HString(home.file("core")));  // the restart: ids read afresh
  ASSERT_EQ(0, deliver(first));
  ASSERT_EQ(0, deliver(second));
  std::vector<std::string> lines = reports();
  ASSERT_EQ(1u, lines.size());
  EXPECT_NE(std::string::npos, lines[0].find("0000000000000def"));
}

}  // namespace
