// The file log's batches: lines gathered on a capture thread must reach the
// file exactly as single writes would have put them there (same bytes, same
// order, same roll-over points), and no later than the end of the batch.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "host/HFileLog.h"
#include "tests/support/TestHome.h"

namespace {

using tidewell_test::read_file;

class HostFileLogBatchTest : public ::testing::Test {
 protected:
  tidewell_test::TestHome home;

  void open(HFileLog& log, const wchar_t* name, unsigned long max_file_len = 0) {
    ASSERT_EQ(0, log.set_path(HString(home.path()) + HString(L"/log"), name));
    if (max_file_len) log.set_max_file_len(max_file_len);
  }
  std::string file(const std::string& name) const { return home.file("log/" + name + ".log"); }
  static HString numbered(int i) {
    HString line;
    line << L"line-" << i << L"-" << HString(std::wstring(static_cast<size_t>(i % 17), L'x'));
    return line;
  }
};

TEST_F(HostFileLogBatchTest, LinesWaitForTheEndOfTheBatchThenAppearInOrder) {
  HFileLog log;
  open(log, L"Attack");
  {
    HFileLog::Batch batch;
    log.log(L"one");
    log.log(L"two");
    EXPECT_EQ("", read_file(file("Attack")));
  }
  log.log(L"three");
  EXPECT_EQ("one\ntwo\nthree\n", read_file(file("Attack")));
}

TEST_F(HostFileLogBatchTest, RollOverHappensAtTheSameLinesAsWithSingleWrites) {
  HFileLog single;
  HFileLog batched;
  open(single, L"Single", 300);
  open(batched, L"Batched", 300);
  for (int i = 0; i < 40; ++i) single.log(numbered(i));
  {
    HFileLog::Batch batch;
    for (int i = 0; i < 40; ++i) batched.log(numbered(i));
  }
  ASSERT_FALSE(read_file(file("Single") + ".1").empty());
  EXPECT_EQ(read_file(file("Single")), read_file(file("Batched")));
  EXPECT_EQ(read_file(file("Single") + ".1"), read_file(file("Batched") + ".1"));
}

// Flushed after every n lines, a batch covers no roll-over, one, or many (of
// which only the last two files are written): the files must always end as
// single writes leave them, also when the log already held lines.
TEST_F(HostFileLogBatchTest, AnyFlushPatternLeavesTheSameFiles) {
  HFileLog single;
  open(single, L"Single", 200);
  single.log(L"from an earlier run");
  for (int i = 0; i < 60; ++i) single.log(numbered(i));
  for (int every = 1; every <= 61; every += 3) {
    const std::wstring name = L"Batched" + std::to_wstring(every);
    tidewell_test::write_file(file(std::string(name.begin(), name.end())), "from an earlier run\n");
    HFileLog batched;
    open(batched, name.c_str(), 200);
    {
      HFileLog::Batch batch;
      for (int i = 0; i < 60; ++i) {
        batched.log(numbered(i));
        if ((i + 1) % every == 0) batch.flush();
      }
    }
    const std::string batched_file = file(std::string(name.begin(), name.end()));
    ASSERT_EQ(read_file(file("Single")), read_file(batched_file)) << "flushed every " << every;
    ASSERT_EQ(read_file(file("Single") + ".1"), read_file(batched_file + ".1")) << "flushed every " << every;
  }
}

TEST_F(HostFileLogBatchTest, ALineOutsideTheBatchWritesTheGatheredOnesFirst) {
  HFileLog log;
  open(log, L"Attack");
  HFileLog::Batch batch;
  log.log(L"capture 1");
  log.log(L"capture 2");
  std::thread guard([&log] { log.log(L"guard"); });
  guard.join();
  EXPECT_EQ("capture 1\ncapture 2\nguard\n", read_file(file("Attack")));
  log.log(L"capture 3");
  batch.flush();
  EXPECT_EQ("capture 1\ncapture 2\nguard\ncapture 3\n", read_file(file("Attack")));
}

TEST_F(HostFileLogBatchTest, ALongBatchWritesOnceEightMiBHaveGathered) {
  HFileLog log;
  open(log, L"Attack");
  HFileLog::Batch batch;
  const HString line(std::wstring(1023, L'a'));  // 1 KiB with its newline
  for (int i = 0; i < 8 * 1024 - 1; ++i) log.log(line);
  EXPECT_EQ(0u, read_file(file("Attack")).size());
  log.log(line);
  EXPECT_EQ(8u * 1024 * 1024, read_file(file("Attack")).size());
}

TEST_F(HostFileLogBatchTest, OnlyTheOutermostBatchWrites) {
  HFileLog log;
  open(log, L"Attack");
  HFileLog::Batch outer;
  {
    HFileLog::Batch inner;
    log.log(L"inner");
  }
  EXPECT_EQ("", read_file(file("Attack")));
  outer.flush();
  EXPECT_EQ("inner\n", read_file(file("Attack")));
}

TEST_F(HostFileLogBatchTest, GatheredLinesSurviveTheLogAndAChangeOfPath) {
  {
    HFileLog log;
    open(log, L"Old");
    HFileLog::Batch batch;
    log.log(L"before the move");
    open(log, L"New");
    log.log(L"after the move");
    EXPECT_EQ("before the move\n", read_file(file("Old")));
    log.log(L"last");
  }  // the log goes before the batch ends
  EXPECT_EQ("after the move\nlast\n", read_file(file("New")));
}

TEST_F(HostFileLogBatchTest, FlushAllWritesEveryLogsGatheredLines) {
  HFileLog first;
  HFileLog second;
  open(first, L"First");
  open(second, L"Second");
  HFileLog::Batch batch;
  first.log(L"a");
  second.log(L"b");
  HFileLog::flush_all();
  EXPECT_EQ("a\n", read_file(file("First")));
  EXPECT_EQ("b\n", read_file(file("Second")));
}

TEST_F(HostFileLogBatchTest, PlainLinesCarryTheHeaderAndAreCutByCharacters) {
  HFileLog log;
  open(log, L"Attack");
  const std::string text = "Recieve an Arp packet from 10.77.0.1, GetTickCount: 42";
  ASSERT_EQ(0, log.log_plain(text.data(), text.size()));
  log.log_plain("a\nb\rc", 5);
  std::string written = read_file(file("Attack"));
  std::regex shape(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} \[\d+\] (.*)\n)"
                   R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} \[\d+\] a b c\n$)");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(written, m, shape)) << written;
  EXPECT_EQ(text, m[1].str());

  // The same cut as a wide line of header and text: by characters.
  HFileLog wide;
  open(wide, L"Wide");
  const size_t header_len = HFileLog::get().wstr().size();
  log.set_max_line_len(static_cast<unsigned long>(header_len + 3));
  wide.set_max_line_len(static_cast<unsigned long>(header_len + 3));
  log.log_plain("\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9", 8);
  wide.log(HFileLog::get() + HString(std::wstring(4, L'\x00e9')));
  std::string plain_tail = read_file(file("Attack"));
  plain_tail = plain_tail.substr(plain_tail.rfind("] ") + 2);
  std::string wide_tail = read_file(file("Wide"));
  wide_tail = wide_tail.substr(wide_tail.rfind("] ") + 2);
  EXPECT_EQ("\xc3\xa9\xc3\xa9\xc3\xa9\n", plain_tail);
  EXPECT_EQ(wide_tail, plain_tail);
}

// The date is formatted once a second and the milliseconds each time: across
// a change of second the two must still fit together.
TEST_F(HostFileLogBatchTest, HeadersStayInOrderAcrossAChangeOfSecond) {
  std::string previous = HFileLog::get().get_str_direct();
  int seconds_seen = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  while (seconds_seen < 1 && std::chrono::steady_clock::now() < deadline) {
    std::string header = HFileLog::get().get_str_direct();
    ASSERT_LE(previous.substr(0, 23), header.substr(0, 23));
    if (header.substr(0, 19) != previous.substr(0, 19)) {
      ++seconds_seen;
      EXPECT_EQ(".", header.substr(19, 1));
      EXPECT_LT(header.substr(20, 3), "500") << previous << " then " << header;
    }
    previous = header;
  }
  EXPECT_EQ(1, seconds_seen);
}

}  // namespace
