#pragma once
// Lines for standard output (the alarms the user is shown) on a thread of
// their own: whoever writes one only queues it. When standard output cannot
// keep up (a full pipe, a stopped terminal), the queue stays bounded and
// further lines are dropped and counted; the count is logged at most once
// a second. Written with write(2) on descriptor 1, not through stdout's
// buffer, so that a write stuck in the pipe holds no lock that anyone else
// takes.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

class HConsoleWriter {
 public:
  static constexpr size_t kMaxQueued = 1024;

  static HConsoleWriter& ins();

  // Queues `line` (ending in a newline); false when it was dropped.
  bool write(std::string line);
  // Waits at most `timeout` until every queued line is written; true then.
  bool flush(std::chrono::milliseconds timeout);
  // Lines dropped so far.
  uint64_t dropped() const;

  // Test seam: where the lines go instead of descriptor 1 (null: back to it).
  void set_sink(std::function<void(const std::string&)> sink);

 private:
  HConsoleWriter() = default;
  void run();
  void put(const std::string& line);

  mutable std::mutex mtx_lines;
  std::condition_variable cv_lines;
  std::condition_variable cv_done;
  std::deque<std::string> dq_lines;
  bool b_started = false;
  bool b_writing = false;
  uint64_t ull_dropped = 0;
  uint64_t ull_dropped_unlogged = 0;
  std::chrono::steady_clock::time_point tp_last_drop_line;
  std::function<void(const std::string&)> fn_sink;
};
