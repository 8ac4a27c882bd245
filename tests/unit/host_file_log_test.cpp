#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "host/HFileLog.h"
#include "tests/support/TestHome.h"

namespace {

class HostFileLogTest : public ::testing::Test {
 protected:
  tidewell_test::TestHome home;
  HFileLog log;
  std::string file() const { return home.file("log/Attack.log"); }
};

TEST_F(HostFileLogTest, RollsOverToDotOneAndKeepsEveryLineOnce) {
  ASSERT_EQ(0, log.set_path(HString(home.path()) + HString(L"/log"), L"Attack"));
  log.set_max_file_len(100);
  // 9 lines of 30 bytes: the file holds 3, the fourth starts a new one.
  for (int i = 0; i < 9; ++i) {
    HString line;
    line << L"line-" << i << L"-xxxxxxxxxxxxxxxxxxxxxxx";
    line = line.substr(0, 29);
    ASSERT_EQ(0, log.log(line));
  }
  std::vector<std::string> current = tidewell_test::read_lines(file());
  std::vector<std::string> previous = tidewell_test::read_lines(file() + ".1");
  EXPECT_LE(tidewell_test::read_file(file()).size(), 100u);
  ASSERT_EQ(3u, current.size());
  ASSERT_EQ(3u, previous.size());
  // The second roll-over replaced the first .1: lines 3-5 there, 6-8 here.
  EXPECT_EQ(0u, previous[0].rfind("line-3-", 0));
  EXPECT_EQ(0u, current[0].rfind("line-6-", 0));
  EXPECT_EQ(0u, current[2].rfind("line-8-", 0));
}

TEST_F(HostFileLogTest, CutsLongLinesAndFlattensLineBreaks) {
  ASSERT_EQ(0, log.set_path(HString(home.path()) + HString(L"/log"), L"Attack"));
  log.set_max_line_len(10);
  log.log(L"abcdefghijklmnopqrstuvwxyz");
  log.log(L"one\ntwo\r");
  log.log(L"\x00e9t\x00e9");  // cut counts characters, not bytes
  EXPECT_EQ("abcdefghij\none two \n\xc3\xa9t\xc3\xa9\n", tidewell_test::read_file(file()));
}

TEST_F(HostFileLogTest, AcceptsBackslashFoldersAndCreatesThem) {
  HString folder(home.path());
  folder << L"\\log\\deeper\\";
  ASSERT_EQ(0, log.set_path(folder, L"Attack"));
  ASSERT_EQ(0, log.log(L"x"));
  EXPECT_EQ("x\n", tidewell_test::read_file(home.file("log/deeper/Attack.log")));
}

TEST_F(HostFileLogTest, FolderThatCannotExistFailsWithoutCrashing) {
  tidewell_test::write_file(home.file("plain"), "not a folder");
  EXPECT_EQ(-1, log.set_path(HString(home.file("plain/log")), L"Attack"));
  EXPECT_EQ(-1, log.log(L"lost"));
  HFileLog unnamed;
  EXPECT_EQ(-1, unnamed.log(L"nowhere to go"));
}

TEST_F(HostFileLogTest, HeaderCarriesTimeThreadLevelSourceAndLine) {
  std::wregex plain(LR"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} \[\d+\] $)");
  EXPECT_TRUE(std::regex_match(HFileLog::get().wstr(), plain)) << HFileLog::get().get_str_direct();
  std::wregex full(LR"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} \[\d+\] \[2\] \.\\Tidewell\(42\) $)");
  HString header = HFileLog::get(2, L".\\Tidewell", 42);
  EXPECT_TRUE(std::regex_match(header.wstr(), full)) << header.get_str_direct();
}

TEST_F(HostFileLogTest, PrintfFormTakesWideStringsNumbersAndPointers) {
  ASSERT_EQ(0, log.set_path(HString(home.path()) + HString(L"/log"), L"Attack"));
  int marker = 0;
  log.log(1, L"HAuditReportMgr", 7, L"name %s, size %d, p %p, null %p, %u%% %lu %llu|%S|%q", L"NetSecurity", -12,
          static_cast<void*>(&marker), static_cast<void*>(nullptr), 7u, 4000000000ul, 18446744073709551615ull,
          "narrow");
  std::string line = tidewell_test::read_file(file());
  std::regex expected(R"(^.* \[1\] HAuditReportMgr\(7\) name NetSecurity, size -12, p 0x[0-9a-f]+, null \(nil\), )"
                      R"(7% 4000000000 18446744073709551615\|narrow\|%q\n$)");
  EXPECT_TRUE(std::regex_match(line, expected)) << line;
}

TEST_F(HostFileLogTest, ConcurrentWritersNeverMixWithinALine) {
  ASSERT_EQ(0, log.set_path(HString(home.path()) + HString(L"/log"), L"Attack"));
  constexpr int kThreads = 8;
  constexpr int kLines = 400;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < kLines; ++i) {
        HString line;
        line << L"t" << t << L" n" << i << L" " << HString(std::wstring(300, static_cast<wchar_t>(L'a' + t)));
        log.log(line);
      }
    });
  }
  for (auto& th : threads) th.join();
  std::vector<std::string> lines = tidewell_test::read_lines(file());
  ASSERT_EQ(static_cast<size_t>(kThreads * kLines), lines.size());
  std::regex shape(R"(^t(\d) n(\d+) ([a-h])\3{299}$)");
  std::set<std::string> seen;
  for (const std::string& l : lines) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(l, m, shape)) << l.substr(0, 40);
    EXPECT_EQ(static_cast<char>('a' + std::stoi(m[1])), m[3].str()[0]);
    seen.insert(m[1].str() + "/" + m[2].str());
  }
  EXPECT_EQ(static_cast<size_t>(kThreads * kLines), seen.size());
}

TEST_F(HostFileLogTest, PlainLinesCarryTheHeaderAndAreCutByCharactersAsWideOnes) {
  ASSERT_EQ(0, log.set_path(HString(home.path()) + HString(L"/log"), L"Attack"));
  log.log_plain("a\nb\rc", 5);
  std::regex shape(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} \[\d+\] a b c\n$)");
  std::string written = tidewell_test::read_file(file());
  EXPECT_TRUE(std::regex_match(written, shape)) << written;

  // Cut by characters, as wide lines are: never inside a UTF-8 sequence.
  const unsigned long header_len = static_cast<unsigned long>(HFileLog::get().wstr().size());
  log.set_max_line_len(header_len + 3);
  log.log_plain("\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9", 8);
  std::string plain_tail = tidewell_test::read_file(file());
  EXPECT_EQ("\xc3\xa9\xc3\xa9\xc3\xa9\n", plain_tail.substr(plain_tail.rfind("] ") + 2));
}

// The date is made once a second and the milliseconds each time: across a
// change of second the two must still fit together.
TEST(HostFileLogHeader, StaysInOrderAcrossAChangeOfSecond) {
  std::string previous = HFileLog::get().get_str_direct();
  int seconds_seen = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  while (seconds_seen < 1 && std::chrono::steady_clock::now() < deadline) {
    std::string header = HFileLog::get().get_str_direct();
    ASSERT_LE(previous.substr(0, 23), header.substr(0, 23));
    if (header.substr(0, 19) != previous.substr(0, 19)) {
      ++seconds_seen;
      EXPECT_LT(header.substr(20, 3), "500") << previous << " then " << header;
    }
    previous = header;
  }
  EXPECT_EQ(1, seconds_seen);
}

TEST(HostFileLogGeneral, WritesUnderTheHomeSetBeforeTheFirstLine) {
  tidewell_test::TestHome home;  // sets the home before the general log first writes
  ASSERT_EQ(0, HFileLog::ins().log(2, L".\\Tidewell", 1, L"Tidewell orvoInit"));
  std::vector<std::string> lines = tidewell_test::read_lines(home.file("log/Velmora.log"));
  ASSERT_EQ(1u, lines.size());
  EXPECT_NE(std::string::npos, lines[0].find("[2] .\\Tidewell(1) Tidewell orvoInit"));
}

}  // namespace
