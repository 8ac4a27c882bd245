#pragma once
// Lines for standard output (the alarms the user is shown) on a thread of
// their own: whoever writes one only queues it. When standard output cannot
// keep up (a full pipe, a stopped terminal), the queue stays bounded and
// further lines are dropped and counted; the count is logged at most once
// a second. Written with write(2) on descriptor 1, not through stdout's
// buffer, so that a write stuck in the pipe holds no lock that anyone else
// takes.
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "host/HTaskQueue.h"

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
  HConsoleWriter();
  void show(const std::string& line);
  void put(const std::string& line);
  void note_drop();

  HTaskQueue<std::string> queue;
  std::mutex mtx_state;  // the drops' log pace and the sink
  uint64_t ull_dropped_unlogged = 0;
  bool b_drop_logged = false;
  std::chrono::steady_clock::time_point tp_last_drop_line;
  std::function<void(const std::string&)> fn_sink;
};
