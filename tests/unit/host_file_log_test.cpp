// The file log: roll-over, line cut, header and printf form, lines of many
// threads; and its batches (HLogBatch): lines gathered on a capture thread
// must reach the file exactly as single writes would have put them there
// (same bytes, same order, same roll-over points), and no later than the
// end of the batch.
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

using tidewell_test::read_file;

class HostFileLogTest : public ::testing::Test {
 protected:
  // `target` writes HOME/log/NAME.log.
  void open(HFileLog& target, const wchar_t* name = L"Attack", unsigned long max_file_len = 0) {
    ASSERT_EQ(0, target.set_path(HString(home.path()) + HString(L"/log"), name));
    if (max_file_len) target.set_max_file_len(max_file_len);
  }
  std::string file(const std::string& name = "Attack") const { return home.file("log/" + name + ".log"); }

  tidewell_test::TestHome home;
  HFileLog log;
};

TEST_F(HostFileLogTest, RollsOverToDotOneAndKeepsEveryLineOnce) {
  open(log, L"Attack", 100);
  // 9 lines of 30 bytes: the file holds 3, the fourth starts a new one.
  for (int i = 0; i < 9; ++i) {
    HString line;
    line << L"line-" << i << L"-xxxxxxxxxxxxxxxxxxxxxxx";
    line = line.substr(0, 29);
    ASSERT_EQ(0, log.log(line));
  }
  std::vector<std::string> current = tidewell_test::read_lines(file());
  std::vector<std::string> previous = tidewell_test::read_lines(file() + ".1");
  EXPECT_LE(read_file(file()).size(), 100u);
  ASSERT_EQ(3u, current.size());
  ASSERT_EQ(3u, previous.size());
  // The second roll-over replaced the first .1: lines 3-5 there, 6-8 here.
  EXPECT_EQ(0u, previous[0].rfind("line-3-", 0));
  EXPECT_EQ(0u, current[0].rfind("line-6-", 0));
  EXPECT_EQ(0u, current[2].rfind("line-8-", 0));
}

TEST_F(HostFileLogTest, CutsLongLinesAndFlattensLineBreaks) {
  open(log);
  log.set_max_line_len(10);
  log.log(L"abcdefghijklmnopqrstuvwxyz");
  log.log(L"one\ntwo\r");
  log.log(L"\x00e9t\x00e9");  // cut counts characters, not bytes
  EXPECT_EQ("abcdefghij\none two \n\xc3\xa9t\xc3\xa9\n", read_file(file()));
}

TEST_F(HostFileLogTest, MakesBackslashFoldersAndFailsWithoutCrashingWhereNoFolderCanBe) {
  HString folder(home.path());
  folder << L"\\log\\deeper\\";
  ASSERT_EQ(0, log.set_path(folder, L"Attack"));
  ASSERT_EQ(0, log.log(L"x"));
  EXPECT_EQ("x\n", read_file(home.file("log/deeper/Attack.log")));

  tidewell_test::write_file(home.file("plain"), "not a folder");
  EXPECT_EQ(-1, log.set_path(HString(home.file("plain/log")), L"Attack"));
  EXPECT_EQ(-1, log.log(L"lost"));
  HFileLog unnamed;
  EXPECT_EQ(-1, unnamed.log(L"nowhere to go"));
}

// Plain lines (UTF-8 bytes) carry the plain header and are cut by
// characters as wide ones are: never inside a UTF-8 sequence.
TEST_F(HostFileLogTest, HeaderCarriesTimeThreadLevelSourceAndLineAlsoOnPlainLines) {
  const std::string stamp = R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} \[\d+\] )";
  std::wregex full(LR"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} \[\d+\] \[2\] \.\\Tidewell\(42\) $)");
  HString header = HFileLog::get(2, L".\\Tidewell", 42);
  EXPECT_TRUE(std::regex_match(header.wstr(), full)) << header.get_str_direct();

  open(log);
  log.log_plain("a\nb\rc", 5);
  std::string written = read_file(file());
  EXPECT_TRUE(std::regex_match(written, std::regex(stamp + "a b c\n$"))) << written;
  const unsigned long header_len = static_cast<unsigned long>(HFileLog::get().wstr().size());
  log.set_max_line_len(header_len + 3);
  log.log_plain("\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9", 8);
  std::string plain_tail = read_file(file());
  EXPECT_EQ("\xc3\xa9\xc3\xa9\xc3\xa9\n", plain_tail.substr(plain_tail.rfind("] ") + 2));
}

TEST_F(HostFileLogTest, PrintfFormTakesWideStringsNumbersAndPointers) {
  open(log);
  int marker = 0;
  log.log(1, L"HAuditReportMgr", 7, L"name %s, size %d, p %p, null %p, %u%% %lu %llu|%S|%q", L"NetSecurity", -12,
          static_cast<void*>(&marker), static_cast<void*>(nullptr), 7u, 4000000000ul, 18446744073709551615ull,
          "narrow");
  std::string line = read_file(file());
  std::regex expected(R"(^.* \[1\] HAuditReportMgr\(7\) name NetSecurity, size -12, p 0x[0-9a-f]+, null \(nil\), )"
                      R"(7% 4000000000 18446744073709551615\|narrow\|%q\n$)");
  EXPECT_TRUE(std::regex_match(line, expected)) << line;
}

// Thread t writes 300 times its own letter and a number: a mixed line breaks
// the run of one letter, and 3200 different lines mean none was lost.
TEST_F(HostFileLogTest, ConcurrentWritersNeverMixWithinALine) {
  open(log);
  constexpr int kThreads = 8;
  constexpr int kLines = 400;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < kLines; ++i) log.log(HString(std::wstring(300, static_cast<wchar_t>(L'a' + t))) << L" " << i);
    });
  }
  for (auto& th : threads) th.join();
  std::vector<std::string> lines = tidewell_test::read_lines(file());
  EXPECT_EQ(static_cast<size_t>(kThreads * kLines), std::set<std::string>(lines.begin(), lines.end()).size());
  std::regex shape(R"(^([a-h])\1{299} \d+$)");
  for (const std::string& l : lines) ASSERT_TRUE(std::regex_match(l, shape)) << l.substr(0, 40);
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

// ---- batches

// Lines wait for the end of the outermost batch; a line of another thread,
// outside any batch, and flush_all() write what has gathered first, in order.
TEST_F(HostFileLogTest, BatchedLinesWaitForTheOutermostBatchAndKeepTheirOrder) {
  HFileLog second;
  open(log);
  open(second, L"Second");
  {
    HFileLog::Batch outer;
    {
      HFileLog::Batch inner;
      log.log(L"one");
    }
    log.log(L"two");
    EXPECT_EQ("", read_file(file()));
    std::thread guard([this] { log.log(L"guard"); });
    guard.join();
    EXPECT_EQ("one\ntwo\nguard\n", read_file(file()));
    log.log(L"three");
    second.log(L"b");
    HFileLog::flush_all();
    EXPECT_EQ("one\ntwo\nguard\nthree\n", read_file(file()));
    EXPECT_EQ("b\n", read_file(file("Second")));
    log.log(L"four");
  }
  EXPECT_EQ("one\ntwo\nguard\nthree\nfour\n", read_file(file()));
}

HString numbered(int i) {
  HString line;
  line << L"line-" << i << L"-" << HString(std::wstring(static_cast<size_t>(i % 17), L'x'));
  return line;
}

// Flushed after every n lines, a batch covers no roll-over, one, or many (of
// which only the last two files are written): the files must always end as
// single writes leave them, also when the log already held lines.
TEST_F(HostFileLogTest, AnyFlushPatternLeavesTheSameFiles) {
  HFileLog single;
  open(single, L"Single", 200);
  single.log(L"from an earlier run");
  for (int i = 0; i < 60; ++i) single.log(numbered(i));
  for (int every : {1, 2, 7, 61}) {
    const std::wstring name = L"Batched" + std::to_wstring(every);
    const std::string batched_file = file(std::string(name.begin(), name.end()));
    tidewell_test::write_file(batched_file, "from an earlier run\n");
    HFileLog batched;
    open(batched, name.c_str(), 200);
    {
      HFileLog::Batch batch;
      for (int i = 0; i < 60; ++i) {
        batched.log(numbered(i));
        if ((i + 1) % every == 0) batch.flush();
      }
    }
    ASSERT_EQ(read_file(file("Single")), read_file(batched_file)) << "flushed every " << every;
    ASSERT_EQ(read_file(file("Single") + ".1"), read_file(batched_file + ".1")) << "flushed every " << every;
  }
}

TEST_F(HostFileLogTest, ALongBatchWritesOnceEightMiBHaveGathered) {
  open(log);
  HFileLog::Batch batch;
  const HString line(std::wstring(1023, L'a'));  // 1 KiB with its newline
  for (int i = 0; i < 8 * 1024 - 1; ++i) log.log(line);
  EXPECT_EQ(0u, read_file(file()).size());
  log.log(line);
  EXPECT_EQ(8u * 1024 * 1024, read_file(file()).size());
}

TEST_F(HostFileLogTest, GatheredLinesSurviveTheLogAndAChangeOfPath) {
  {
    HFileLog moving;
    open(moving, L"Old");
    HFileLog::Batch batch;
    moving.log(L"before the move");
    open(moving, L"New");
    moving.log(L"after the move");
    EXPECT_EQ("before the move\n", read_file(file("Old")));
    moving.log(L"last");
  }  // the log goes before the batch ends
  EXPECT_EQ("after the move\nlast\n", read_file(file("New")));
}

}  // namespace
