// Entries written per frame reach the attack log as plain bytes: the file
// line and the debugger output must be what the wide routine gives for the
// same text, for short, long and non-ASCII texts alike.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "frame/AttackLog.h"
#include "host/HFileUtil.h"
#include "platform/WinDebug.h"
#include "tests/support/TestHome.h"

namespace {

class AttackLogPlain : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::set_debug_sink([this](const std::wstring& text) {
      std::lock_guard<std::mutex> lock(mtx);
      debug.push_back(text);
    });
  }
  void TearDown() override { platform::set_debug_sink(nullptr); }

  // The text behind the header of each line.
  std::vector<std::string> texts() {
    std::vector<std::string> out;
    for (const std::string& line : tidewell_test::read_lines(home.file("log/Attack.log"))) {
      size_t at = line.find("] ");
      out.push_back(at == std::string::npos ? line : line.substr(at + 2));
    }
    return out;
  }

  tidewell_test::TestHome home{"attack-plain"};
  std::mutex mtx;
  std::vector<std::wstring> debug;
};

TEST_F(AttackLogPlain, PlainAndWideEntriesAreTheSameInTheFileAndTheDebuggerOutput) {
  const std::string short_text = "Recieve an Arp packet from 10.77.0.1, GetTickCount: 42";
  const std::string long_text(700, 'x');  // a DHCP message's rendering is this long
  const std::string non_ascii = "caf\xc3\xa9 \xe2\x82\xac";
  for (const std::string& text : {short_text, long_text, non_ascii}) {
    write_attack_log(text.data(), text.size());
    write_attack_log(HFileUtil::from_utf8(text));
  }
  std::vector<std::string> lines = texts();
  ASSERT_EQ(6u, lines.size());
  ASSERT_EQ(6u, debug.size());
  for (size_t i = 0; i < 6; i += 2) {
    EXPECT_EQ(lines[i], lines[i + 1]);
    EXPECT_EQ(debug[i], debug[i + 1]);
    EXPECT_EQ(HFileUtil::from_utf8(lines[i]).wstr(), debug[i]);
  }
  EXPECT_EQ(short_text, lines[0]);
  EXPECT_EQ(L"caf\x00e9 \x20ac", debug[4]);
}

TEST_F(AttackLogPlain, WithoutListenerTheLineStillReachesTheFile) {
  platform::set_debug_sink(nullptr);
  EXPECT_FALSE(platform::debug_output_wanted() && std::getenv("TIDEWELL_DEBUGVIEW") == nullptr);
  write_attack_log("quiet", 5);
  EXPECT_EQ(std::vector<std::string>{"quiet"}, texts());
  EXPECT_TRUE(debug.empty());
}

}  // namespace
