// The attack log: made once on first use, every text once in the file and
// once on the debugger output.
#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <thread>

#include "frame/AttackLog.h"
#include "host/HEnvironment.h"
#include "platform/WinDebug.h"
#include "tests/support/frame_support.h"

namespace {

class DebugSink {
 public:
  DebugSink() {
    platform::set_debug_sink([this](const std::wstring& text) {
      std::lock_guard<std::mutex> lock(mtx_texts);
      vt_texts.push_back(text);
    });
  }
  ~DebugSink() { platform::set_debug_sink(nullptr); }
  size_t count(const std::wstring& text) {
    std::lock_guard<std::mutex> lock(mtx_texts);
    size_t n = 0;
    for (const std::wstring& t : vt_texts) n += (t == text);
    return n;
  }

 private:
  std::mutex mtx_texts;
  std::vector<std::wstring> vt_texts;
};

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool ends_with(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(AttackLog, EachTextOnceInFileBehindHeaderAndOnceOnDebugger) {
  frame_test::TempHome home;
  DebugSink sink;
  write_attack_log(L"start...");
  write_attack_log(L"Send an Arp packet to 10.77.0.1, GetTickCount: 42");
  std::vector<std::string> lines = lines_of(frame_test::read_file(home.file("log/Attack.log")));
  ASSERT_EQ(2u, lines.size());
  EXPECT_TRUE(ends_with(lines[0], " start...")) << lines[0];
  EXPECT_GT(lines[0].size(), std::string("start...").size() + 1);  // a header stands before it
  EXPECT_TRUE(ends_with(lines[1], "Send an Arp packet to 10.77.0.1, GetTickCount: 42")) << lines[1];
  EXPECT_EQ(1u, sink.count(L"start..."));
  EXPECT_EQ(1u, sink.count(L"Send an Arp packet to 10.77.0.1, GetTickCount: 42"));
}

TEST(AttackLog, FolderIsFixedByTheFirstCall) {
  frame_test::TempHome first;
  write_attack_log(L"one");
  frame_test::TempHome second;  // the home moves after the log exists
  write_attack_log(L"two");
  std::string text = frame_test::read_file(first.file("log/Attack.log"));
  EXPECT_EQ(1u, frame_test::count_of(text, " one\n"));
  EXPECT_EQ(1u, frame_test::count_of(text, " two\n"));
  EXPECT_FALSE(frame_test::file_exists(second.file("log/Attack.log")));
}

TEST(AttackLog, LongTextIsCutByTheLineLimitButSentWhole) {
  frame_test::TempHome home;
  DebugSink sink;
  std::wstring text(5000, L'x');
  write_attack_log(text);
  write_attack_log(L"after");
  std::vector<std::string> lines = lines_of(frame_test::read_file(home.file("log/Attack.log")));
  ASSERT_EQ(2u, lines.size());
  EXPECT_LE(lines[0].size(), 3072u);
  EXPECT_GE(lines[0].size(), 3000u);
  EXPECT_TRUE(ends_with(lines[1], " after"));
  EXPECT_EQ(1u, sink.count(text));
}

TEST(AttackLog, RollsOverAtThreeHundredKilobytes) {
  frame_test::TempHome home;
  std::wstring text(1000, L'y');
  for (int i = 0; i < 400; ++i) write_attack_log(text);
  EXPECT_TRUE(frame_test::file_exists(home.file("log/Attack.log.1")));
  EXPECT_LE(std::filesystem::file_size(home.file("log/Attack.log")), 307200u);
  EXPECT_LE(std::filesystem::file_size(home.file("log/Attack.log.1")), 307200u);
}

TEST(AttackLogConcurrency, FirstCallsFromManyThreadsMakeOneLog) {
  frame_test::TempHome home;
  DebugSink sink;
  constexpr int kThreads = 8;
  constexpr int kLines = 50;
  std::mutex mtx;
  std::condition_variable cv;
  bool go = false;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t]() {
      {
        std::unique_lock<std::mutex> lock(mtx);
        cv.wait(lock, [&]() { return go; });
      }
      for (int i = 0; i < kLines; ++i) write_attack_log(HString("thread " + std::to_string(t) + " line " + std::to_string(i)));
    });
  }
  {
    std::lock_guard<std::mutex> lock(mtx);
    go = true;
  }
  cv.notify_all();
  for (std::thread& th : threads) th.join();

  std::string text = frame_test::read_file(home.file("log/Attack.log"));
  EXPECT_EQ(static_cast<size_t>(kThreads * kLines), lines_of(text).size());
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kLines; ++i) {
      std::string line = "thread " + std::to_string(t) + " line " + std::to_string(i);
      EXPECT_EQ(1u, frame_test::count_of(text, " " + line + "\n")) << line;
      EXPECT_EQ(1u, sink.count(HString(line).wstr())) << line;
    }
  }
}

}  // namespace
