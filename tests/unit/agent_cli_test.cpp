// The agent's own parts: its command line, its choice of the live interface,
// the main loop's pace, HOME/state.json and the end-of-run summary.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "agent/AgentLoop.h"
#include "agent/AgentOptions.h"
#include "agent/AgentPaths.h"
#include "agent/AgentState.h"
#include "agent/AgentSummary.h"
#include "agent/DefaultRoute.h"
#include "tests/support/TestHome.h"

namespace {

using json = nlohmann::json;

AgentOptions parsed(const std::vector<std::string>& args) {
  AgentOptions options;
  std::string error;
  EXPECT_EQ(AgentOptions::parse(args, options, error), 0) << error;
  return options;
}

std::string error_of(const std::vector<std::string>& args) {
  AgentOptions options;
  std::string error;
  EXPECT_EQ(AgentOptions::parse(args, options, error), -1);
  return error;
}

// --config, --plugin, --replay, "--speed max" and --iface: every run of the
// end-to-end and lab tests gives them.
TEST(AgentOptions, EveryOptionTakesItsValueInBothForms) {
  AgentOptions options = parsed({"--home=/tmp/h", "--replay", "in.pcap", "--speed", "2.5", "--linger=0", "--run-for",
                                 "12", "--check-config"});
  EXPECT_EQ(options.str_home, "/tmp/h");
  EXPECT_DOUBLE_EQ(options.d_speed, 2.5);
  EXPECT_DOUBLE_EQ(options.d_linger_s, 0.0);
  EXPECT_DOUBLE_EQ(options.d_run_for_s, 12.0);
  EXPECT_TRUE(options.b_check_config);
  EXPECT_FALSE(options.b_version || options.b_help);
  EXPECT_TRUE(parsed({"--version"}).b_version);
  EXPECT_TRUE(parsed({"-h"}).b_help);
  // Joined by "=", a value that looks like an option is meant.
  EXPECT_EQ(parsed({"--replay=--odd.pcap"}).str_replay, "--odd.pcap");
}

TEST(AgentOptions, BadUsageNamesTheOption) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--bogus"}, "unknown option --bogus"},
      {{"--config"}, "--config needs a value"},
      {{"--home="}, "--home needs a value"},
      {{"--linger", "2"}, "--linger needs --replay"},
      {{"--replay", "x", "--linger", "-1"}, "--linger"},
      {{"--iface", "eth0", "--replay", "x"}, "exclude"},
      // A forgotten value must not take the next option as a file name.
      {{"--replay", "--home", "x"}, "--replay needs FILE.pcap, not the option --home"},
      {{"--home", "a", "--home=b"}, "--home given twice"},
      {{"-h", "--help"}, "--help given twice"},
      {{"--version=1"}, "--version takes no value"},
  };
  for (const auto& [args, what] : cases) EXPECT_NE(error_of(args).find(what), std::string::npos) << what;
  for (const char* speed : {"0", "fast", "inf", "nan", "-1", "1e400"}) {
    EXPECT_NE(error_of({"--replay", "x", "--speed", speed}).find("--speed"), std::string::npos) << speed;
  }
  for (const char* run_for : {"0", "inf", "1e400", "5s"}) {
    EXPECT_NE(error_of({"--run-for", run_for}).find("--run-for"), std::string::npos) << run_for;
  }
}

// Every option and config section that --help names is in the man page.
TEST(AgentOptions, ManPageHasEveryOptionAndSectionOfHelp) {
  std::ifstream file(std::string(TIDEWELL_BIN_DIR) + "/../man/velmora-agent.8");
  ASSERT_TRUE(file) << "the man page is not built";
  std::string page((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::istringstream help(AgentOptions::help(AgentPaths::defaults_for("/usr/sbin")));
  std::string line;
  bool sections = false;
  int checked = 0;
  while (std::getline(help, line)) {
    if (line.rfind("config sections", 0) == 0) sections = true;
    if (line.rfind("  ", 0) != 0 || line.rfind("   ", 0) == 0) continue;  // deeper lines continue the one above
    std::string word = line.substr(2, line.find(' ', 2) - 2);
    std::string roff = sections ? ".TP\n\\fB" + word + "\\fR" : word;
    std::string in_page;
    for (char c : roff) in_page += c == '-' ? std::string("\\-") : std::string(1, c);
    EXPECT_NE(page.find(in_page), std::string::npos) << word << " is not in the man page";
    ++checked;
  }
  EXPECT_EQ(checked, 16) << "11 options and 5 config sections";
}

TEST(AgentDefaultRoute, PicksTheUpDefaultRouteWithTheLowestMetricOrNothing) {
  const std::string table =
      "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
      "wlan0\t00000000\t0100A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
      "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
      "eth0\t0001A8C0\t00000000\t0001\t0\t0\t0\tFFFFFFFF\t0\t0\t0\n"
      "down0\t00000000\t0102A8C0\t0002\t0\t0\t1\t00000000\t0\t0\t0\n";
  EXPECT_EQ(DefaultRoute::interface_from(table), "eth0");
  // No default route, or lines that are none: nothing.
  EXPECT_EQ(DefaultRoute::interface_from("Iface\tDestination\n"
                                         "eth0\t0001A8C0\t00000000\t0001\t0\t0\t0\tFFFFFF00\n"
                                         "junk line\n"
                                         "eth1\tZZ\t00000000\t0001\t0\t0\t0\t00000000\n"),
            "");
}

// The end-of-run summary: every dropped frame is counted with the place it
// was lost, the rate is over the capture's own time, and the lines that
// scripts read keep their form.
TEST(AgentSummary, DropsAddUpByPlaceAndTheRateIsOverTheCaptureTime) {
  AgentSummary s;
  s.capture.frames_read = 1000000;
  s.capture.frames_delivered = 999990;
  s.capture.frames_dropped = 7;
  s.capture.frames_queue_dropped = 5;
  s.capture.frames_sent = 3;
  s.capture.claims_not_judged_at_stop = 1787;
  s.capture.seconds = 0.25;
  s.ull_reports = 2;
  s.ull_alarms = 1;
  s.d_wall_seconds = 1.5;
  std::string text = s.text();
  EXPECT_EQ(0u, text.find("velmora-agent summary: ran 1.5 s\n"));
  EXPECT_NE(std::string::npos, text.find("\n  frames read:                     1000000\n"));
  EXPECT_NE(std::string::npos, text.find("\n  frames dropped:                  12 (capture 7, guard queue 5)\n")) << text;
  EXPECT_NE(std::string::npos, text.find("\n  frames sent by the plug-in:      3\n"));
  EXPECT_NE(std::string::npos, text.find("999990 (3999960.0 per second over 0.250 s of capture)"));
  // Claims still queued at the stop were never judged, and say so.
  EXPECT_NE(std::string::npos, s.log_line().find("claims not judged at stop 1787"));
  s.capture.seconds = 0;
  EXPECT_EQ(0.0, s.rate());
}

// The main loop's pace: the linger after a replay cuts the --run-for
// deadline short but never lengthens it, heartbeats keep their period
// without drifting, and the wait never passes a deadline or a heartbeat.
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

// HOME/state.json: what it says, and that it is replaced whole through the
// home's own file calls.
// The ARP probe's fields and the drops of both places added up (a live
// agent's DHCP probe, gateways and frames read are the events lab test's).
TEST(AgentState, SaysTheArpProbeAndTheDropsOfBothPlaces) {
  HPluginView view;
  view.vt_gateways.push_back({"10.79.0.1", "02:79:00:00:00:01", true});
  view.vt_probes.push_back({"arp", "10.79.0.1", "02:79:00:00:00:01", "02:79:00:00:00:66"});
  AgentSummary summary;
  summary.capture.frames_dropped = 2;
  summary.capture.frames_queue_dropped = 1;
  json state = json::parse(AgentState::json_text(view, summary));
  EXPECT_EQ(json({{"ip", "10.79.0.1"}, {"learned_mac", "02:79:00:00:00:01"}, {"bound", true}}), state["gateways"][0]);
  EXPECT_EQ(json({{"kind", "arp"}, {"ip", "10.79.0.1"}, {"old_mac", "02:79:00:00:00:01"}, {"new_mac", "02:79:00:00:00:66"}}),
            state["probes"][0]);
  EXPECT_EQ(3, state["counters"]["frames_dropped"]);
}

TEST(AgentState, ReplacesTheFileWholeAndRefusesALinkInPlaceOfItsTemporary) {
  tidewell_test::TestHome home;
  std::string error;
  ASSERT_EQ(0, AgentState::write(home.path(), "{\"old\":1}\n", error)) << error;
  ASSERT_EQ(0, AgentState::write(home.path(), "{\"new\":2}\n", error)) << error;
  EXPECT_EQ("{\"new\":2}\n", tidewell_test::read_file(home.file("state.json")));
  EXPECT_FALSE(tidewell_test::file_exists(home.file("state.json.tmp")));

  tidewell_test::write_file(home.file("victim"), "kept");
  ASSERT_EQ(0, ::symlink(home.file("victim").c_str(), home.file("state.json.tmp").c_str()));
  EXPECT_EQ(-1, AgentState::write(home.path(), "{\"third\":3}\n", error));
  EXPECT_NE(std::string::npos, error.find("state.json.tmp")) << error;
  EXPECT_EQ("kept", tidewell_test::read_file(home.file("victim")));
  EXPECT_EQ("{\"new\":2}\n", tidewell_test::read_file(home.file("state.json")));
}

}  // namespace
