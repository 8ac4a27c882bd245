// The file log's batches (HLogBatch): lines gathered on a capture thread
// must reach the file exactly as single writes would have put them there
// (same bytes, same order, same roll-over points), and no later than the
// end of the batch.
#include <gtest/gtest.h>

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

TEST_F(HostFileLogBatchTest, LinesWaitForTheEndOfTheOutermostBatchThenAppearInOrder) {
  HFileLog log;
  open(log, L"Attack");
  {
    HFileLog::Batch outer;
    {
      HFileLog::Batch inner;
      log.log(L"one");
    }
    log.log(L"two");
    EXPECT_EQ("", read_file(file("Attack")));
  }
  log.log(L"three");
  EXPECT_EQ("one\ntwo\nthree\n", read_file(file("Attack")));
}

// Flushed after every n lines, a batch covers no roll-over, one, or many (of
// which only the last two files are written): the files must always end as
// single writes leave them, also when the log already held lines.
TEST_F(HostFileLogBatchTest, AnyFlushPatternLeavesTheSameFiles) {
  HFileLog single;
  open(single, L"Single", 200);
  single.log(L"from an earlier run");
  for (int i = 0; i < 60; ++i) single.log(numbered(i));
  for (int every : {1, 2, 7, 61}) {
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

}  // namespace
