// The file log's batches: lines gathered on a capture thread must reach the
// file exactly as single writes would have put them there (same bytes, same
// order, same roll-over points), and no later than the end of the batch.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
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

// Deferred lines: text "deferred-<n>-" and n % 23 dots, made from n only
// when the line is written. Renders are counted, to see which lines were
// made at all.
std::atomic<int> g_renders{0};

std::string deferred_text(uint32_t n) { return "deferred-" + std::to_string(n) + "-" + std::string(n % 23, '.'); }

HFileLog::DeferredArgs args_of(uint32_t n) {
  HFileLog::DeferredArgs args;
  std::memcpy(args.bytes, &n, sizeof(n));
  return args;
}

void render_deferred(const unsigned char* args, char* out) {
  uint32_t n;
  std::memcpy(&n, args, sizeof(n));
  const std::string text = deferred_text(n);
  std::memcpy(out, text.data(), text.size());
  ++g_renders;
}

int log_deferred(HFileLog& log, uint32_t n) {
  return log.log_plain_deferred(deferred_text(n).size(), render_deferred, args_of(n));
}

// Headers of one thread have one length: with the time masked, a deferred
// file must match an eager one byte for byte.
std::string masked(const std::string& text) {
  static const std::regex stamp(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} \[)");
  return std::regex_replace(text, stamp, "YYYY-MM-DD hh:mm:ss.mmm [");
}

// Every third line eager (wide or plain), the others deferred; lines of
// many lengths over files of 400 bytes, so that one batch covers several
// roll-overs, and flushed after every `every` lines.
TEST_F(HostFileLogBatchTest, DeferredLinesLeaveTheFilesOfSingleEagerWrites) {
  constexpr uint32_t kLines = 90;
  auto mixed = [](HFileLog& log, uint32_t n, bool defer) {
    if (n % 3 == 0) return log.log(HFileLog::get() + numbered(static_cast<int>(n)));
    if (n % 3 == 1 && defer) return log_deferred(log, n);
    return log.log_plain(deferred_text(n).data(), deferred_text(n).size());
  };
  HFileLog single;
  open(single, L"Single", 400);
  single.log(L"from an earlier run");
  for (uint32_t n = 0; n < kLines; ++n) ASSERT_EQ(0, mixed(single, n, false));
  ASSERT_FALSE(read_file(file("Single") + ".1").empty());

  for (uint32_t every : {1u, 4u, 11u, kLines}) {
    const std::wstring name = L"Deferred" + std::to_wstring(every);
    const std::string path = file(std::string(name.begin(), name.end()));
    tidewell_test::write_file(path, "from an earlier run\n");
    HFileLog deferred;
    open(deferred, name.c_str(), 400);
    g_renders = 0;
    {
      HFileLog::Batch batch;
      for (uint32_t n = 0; n < kLines; ++n) {
        ASSERT_EQ(0, mixed(deferred, n, true));
        if ((n + 1) % every == 0) batch.flush();
      }
    }
    ASSERT_EQ(masked(read_file(file("Single"))), masked(read_file(path))) << "flushed every " << every;
    ASSERT_EQ(masked(read_file(file("Single") + ".1")), masked(read_file(path + ".1"))) << "flushed every " << every;
    if (every == kLines) {  // one write: only the deferred lines of the two files kept were made
      const std::string kept = read_file(path) + read_file(path + ".1");
      int kept_deferred = 0;
      for (uint32_t n = 1; n < kLines; n += 3) kept_deferred += tidewell_test::count_of(kept, "] " + deferred_text(n) + "\n") > 0;
      EXPECT_GT(kept_deferred, 0);
      EXPECT_EQ(kept_deferred, g_renders.load());
    }
  }
}

// Each line's text behind its header ("] "), or the whole line if it has none.
std::vector<std::string> texts_of(const std::string& path) {
  std::vector<std::string> texts;
  for (const std::string& line : tidewell_test::read_lines(path)) {
    size_t at = line.find("] ");
    texts.push_back(at == std::string::npos ? line : line.substr(at + 2));
  }
  return texts;
}

TEST_F(HostFileLogBatchTest, ALineOutsideTheBatchWritesTheDeferredOnesFirstInOrder) {
  HFileLog log;
  open(log, L"Attack");
  HFileLog::Batch batch;
  log_deferred(log, 1);
  log.log(L"capture eager");
  log_deferred(log, 2);
  std::thread guard([&log] { log.log(L"guard"); });
  guard.join();
  using Texts = std::vector<std::string>;
  EXPECT_EQ((Texts{deferred_text(1), "capture eager", deferred_text(2), "guard"}), texts_of(file("Attack")));
  log_deferred(log, 3);
  batch.flush();
  EXPECT_EQ(deferred_text(3), texts_of(file("Attack")).back());
}

// The header is the one of the moment the line is logged, of the thread that
// logged it, not of the moment (or the thread) that writes it.
TEST_F(HostFileLogBatchTest, DeferredLinesKeepTheHeaderOfTheirLogTimeAndThread) {
  HFileLog log;
  open(log, L"Attack");
  HFileLog::Batch batch;
  const std::string before = HFileLog::get().get_str_direct();
  log_deferred(log, 1);
  const std::string after = HFileLog::get().get_str_direct();
  std::string other_header;
  std::thread other([&] {
    HFileLog::Batch other_batch;
    log_deferred(log, 2);
    other_header = HFileLog::get().get_str_direct();
  });  // its batch's end writes both lines
  other.join();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (HFileLog::get().get_str_direct() == after && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  log_deferred(log, 3);
  const std::string last = HFileLog::get().get_str_direct();
  batch.flush();

  std::vector<std::string> headers;
  for (const std::string& line : tidewell_test::read_lines(file("Attack"))) headers.push_back(line.substr(0, line.find("] ") + 2));
  ASSERT_EQ(3u, headers.size());
  EXPECT_TRUE(headers[0] == before || headers[0] == after) << headers[0];
  EXPECT_EQ(other_header.substr(23), headers[1].substr(23)) << "the other thread's id";
  EXPECT_NE(headers[0].substr(23), headers[1].substr(23));
  EXPECT_EQ(last, headers[2]);
  EXPECT_NE(headers[0], last) << "the clock moved on between the first line and its write";
}

TEST_F(HostFileLogBatchTest, FlushesWithNothingDeferredWriteNothingTwice) {
  HFileLog log;
  open(log, L"Attack");
  HFileLog::Batch batch;
  batch.flush();
  EXPECT_EQ("", read_file(file("Attack")));
  log_deferred(log, 7);
  batch.flush();
  batch.flush();
  log.log(L"eager");
  batch.flush();
  EXPECT_EQ((std::vector<std::string>{deferred_text(7), "eager"}), texts_of(file("Attack")));
}

// Outside a batch the line is written at once; a line too long for the line
// limit is made at once and cut as log_plain cuts it.
TEST_F(HostFileLogBatchTest, DeferredLinesOutsideABatchOrTooLongAreWrittenAsPlainLines) {
  HFileLog log;
  open(log, L"Attack");
  ASSERT_EQ(0, log_deferred(log, 22));
  EXPECT_EQ(1u, texts_of(file("Attack")).size());
  log.set_max_line_len(static_cast<unsigned long>(HFileLog::get().wstr().size() + 12));
  {
    HFileLog::Batch batch;
    log_deferred(log, 22);
    log_deferred(log, 1);
  }
  EXPECT_EQ(-1, log.log_plain_deferred(3, nullptr, args_of(1)));
  EXPECT_EQ((std::vector<std::string>{deferred_text(22), "deferred-22-", deferred_text(1)}), texts_of(file("Attack")));
}

// Deferred lines count towards the 8 MiB that a batch gathers at most: a
// batch that is never flushed holds no more with deferred lines than with text.
TEST_F(HostFileLogBatchTest, ALongBatchOfDeferredLinesIsWrittenBeforeItGrowsUnbounded) {
  HFileLog log;
  open(log, L"Attack");
  HFileLog::Batch batch;
  size_t logged = 0;
  while (read_file(file("Attack")).empty() && logged < 400000) {
    for (int i = 0; i < 1000; ++i) log_deferred(log, 0);
    logged += 1000;
  }
  EXPECT_LT(logged, 400000u);
  EXPECT_GT(texts_of(file("Attack")).size(), logged - 1000);
}

}  // namespace
