// The end-of-run summary: every dropped frame is counted with the place it
// was lost, the rate is over the capture's own time, and the lines that
// scripts read keep their form.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "agent/AgentSummary.h"

namespace {

AgentSummary sample() {
  AgentSummary s;
  s.capture.frames_read = 1000000;
  s.capture.frames_delivered = 999990;
  s.capture.frames_short = 10;
  s.capture.frames_dropped = 7;
  s.capture.frames_queue_dropped = 5;
  s.capture.frames_sent = 3;
  s.capture.seconds = 0.25;
  s.ull_reports = 2;
  s.ull_alarms = 1;
  s.d_wall_seconds = 1.5;
  return s;
}

TEST(AgentSummary, DropsAreAddedUpAndNamedByPlace) {
  AgentSummary s = sample();
  EXPECT_EQ(12u, s.dropped());
  std::string text = s.text();
  EXPECT_NE(std::string::npos, text.find("  frames dropped:                  12 (capture 7, guard queue 5)\n")) << text;
  EXPECT_NE(std::string::npos, s.log_line().find("dropped 7, dropped by the guard queue 5"));
}

TEST(AgentSummary, RateIsOverTheCaptureTimeAndZeroWithoutOne) {
  AgentSummary s = sample();
  EXPECT_DOUBLE_EQ(3999960.0, s.rate());
  EXPECT_NE(std::string::npos, s.text().find("999990 (3999960.0 per second over 0.250 s of capture)"));
  s.capture.seconds = 0;
  EXPECT_EQ(0.0, s.rate());
}

TEST(AgentSummary, KeepsTheLinesThatScriptsRead) {
  std::string text = sample().text();
  EXPECT_EQ(0u, text.find("velmora-agent summary: ran 1.5 s\n"));
  EXPECT_TRUE(std::regex_search(text, std::regex("\n  frames read: +1000000\n")));
  EXPECT_TRUE(std::regex_search(text, std::regex("\n  frames too short \\(dropped\\): +10\n")));
  EXPECT_TRUE(std::regex_search(text, std::regex("\n  frames sent by the plug-in: +3\n")));
  EXPECT_TRUE(std::regex_search(text, std::regex("\n  core: report blocks accepted 2, alarms 1\n$")));
}

}  // namespace
