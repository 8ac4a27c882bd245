// The attack log: made once on first use, every text once in the file and
// once on the debugger output; entries written per frame as plain bytes read
// exactly as the wide routine writes the same text.
#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>

#include "dhcpguard/HTestDhcpGateway.h"
#include "frame/AttackLog.h"
#include "host/HFileUtil.h"
#include "platform/WinDebug.h"
#include "platform/WinTime.h"
#include "tests/support/frame_support.h"

namespace {

// The texts sent to the debugger output while it lives.
class DebugSink {
 public:
  DebugSink() {
    platform::set_debug_sink([this](const std::wstring& text) {
      std::lock_guard<std::mutex> lock(mtx_texts);
      vt_texts.push_back(text);
    });
  }
  ~DebugSink() { platform::set_debug_sink(nullptr); }
  std::vector<std::wstring> texts() {
    std::lock_guard<std::mutex> lock(mtx_texts);
    return vt_texts;
  }

 private:
  std::mutex mtx_texts;
  std::vector<std::wstring> vt_texts;
};

// The text behind the header of each line of the attack log.
std::vector<std::string> texts_of(const frame_test::TempHome& home) {
  std::vector<std::string> out;
  for (const std::string& line : tidewell_test::read_lines(home.file("log/Attack.log"))) {
    size_t at = line.find("] ");
    out.push_back(at == std::string::npos ? line : line.substr(at + 2));
  }
  return out;
}

// A line is cut in the file but sent whole to the debugger (the cut and the
// roll-over are the file log's, host_file_log_test).
TEST(AttackLog, LongLinesAreCutInTheFileOnly) {
  frame_test::TempHome home;
  std::wstring text(5000, L'x');
  {
    DebugSink sink;
    write_attack_log(text);
    write_attack_log(L"after");
    EXPECT_EQ(std::vector<std::wstring>({text, L"after"}), sink.texts());
  }
  std::vector<std::string> lines = tidewell_test::read_lines(home.file("log/Attack.log"));
  ASSERT_EQ(2u, lines.size());
  EXPECT_LE(lines[0].size(), 3072u);
  EXPECT_GE(lines[0].size(), 3000u);
  EXPECT_EQ("after", texts_of(home)[1]);
}

TEST(AttackLogPlain, PlainAndWideEntriesAreTheSameInTheFileAndTheDebuggerOutput) {
  frame_test::TempHome home;
  DebugSink sink;
  const std::string short_text = "Recieve an Arp packet from 10.77.0.1, GetTickCount: 42";
  const std::string long_text(700, 'x');  // a DHCP message's rendering is this long
  const std::string non_ascii = "caf\xc3\xa9 \xe2\x82\xac";
  for (const std::string& text : {short_text, long_text, non_ascii}) {
    write_attack_log(text.data(), text.size());
    write_attack_log(HFileUtil::from_utf8(text));
  }
  std::vector<std::string> lines = texts_of(home);
  std::vector<std::wstring> debug = sink.texts();
  ASSERT_EQ(6u, lines.size());
  ASSERT_EQ(6u, debug.size());
  for (size_t i = 0; i < 6; i += 2) {
    EXPECT_EQ(lines[i], lines[i + 1]);
    EXPECT_EQ(debug[i], debug[i + 1]);
    EXPECT_EQ(HFileUtil::from_utf8(lines[i]).wstr(), debug[i]);
  }
  EXPECT_EQ(short_text, lines[0]);
  const std::string first_line = tidewell_test::read_lines(home.file("log/Attack.log"))[0];
  EXPECT_GT(first_line.size(), short_text.size() + 1) << "a header stands before the text";
  EXPECT_EQ(L"caf\x00e9 \x20ac", debug[4]);
}

TEST(AttackLogPlain, WithoutListenerTheLineStillReachesTheFile) {
  frame_test::TempHome home;
  platform::set_debug_sink(nullptr);
  EXPECT_FALSE(platform::debug_output_wanted() && std::getenv("TIDEWELL_DEBUGVIEW") == nullptr);
  write_attack_log("quiet", 5);
  EXPECT_EQ(std::vector<std::string>{"quiet"}, texts_of(home));
}

// The line of every ARP frame is made on the stack: for addresses and ticks
// of every width it reads as the texts do, in the file and for the debugger.
TEST(AttackLogArpSender, LinesReadTheSameForAddressesAndTicksOfEveryWidth) {
  frame_test::TempHome home;
  struct Case {
    uint32_t ip;  // as the frame carries it
    DWORD tick;
    const char* text;
  };
  const Case cases[] = {
      {0x00000000u, 0, "Recieve an Arp packet from 0.0.0.0, GetTickCount: 0"},
      {0xffffffffu, 4294967295u, "Recieve an Arp packet from 255.255.255.255, GetTickCount: 4294967295"},
      {0x64630a09u, 99999, "Recieve an Arp packet from 9.10.99.100, GetTickCount: 99999"},
  };
  DWORD tick = 0;
  platform::set_tick_source([&tick] { return tick; });
  HTestDhcpGateway probe;
  DebugSink sink;
  std::vector<std::string> expected;
  std::vector<std::wstring> expected_debug;
  for (const Case& c : cases) {
    tick = c.tick;
    probe.check_arp_sender(c.ip);
    expected.push_back(c.text);
    expected_debug.push_back(HFileUtil::from_utf8(c.text).wstr());
  }
  platform::set_tick_source(nullptr);
  EXPECT_EQ(expected, texts_of(home));
  EXPECT_EQ(expected_debug, sink.texts());
}

}  // namespace
