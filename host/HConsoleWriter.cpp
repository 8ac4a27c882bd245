#include "host/HConsoleWriter.h"

#include <cerrno>
#include <thread>
#include <unistd.h>

#include "host/HFileLog.h"

namespace {

const wchar_t kLogSource[] = L"HConsoleWriter";
constexpr auto kDropLinePace = std::chrono::seconds(1);

}  // namespace

HConsoleWriter& HConsoleWriter::ins() {
  // Never destroyed: its thread may still be stuck in a write at exit.
  static HConsoleWriter* p_writer = new HConsoleWriter();
  return *p_writer;
}

HConsoleWriter::HConsoleWriter() : queue(kMaxQueued, [this](std::string& line) { show(line); }) {}

bool HConsoleWriter::write(std::string line) {
  if (queue.post(std::move(line))) return true;
  note_drop();
  return false;
}

// The first drop is logged at once, later ones at most once a second.
void HConsoleWriter::note_drop() {
  uint64_t unlogged = 0;
  {
    std::lock_guard<std::mutex> lock(mtx_state);
    ++ull_dropped_unlogged;
    auto now = std::chrono::steady_clock::now();
    if (!b_drop_logged || now - tp_last_drop_line >= kDropLinePace) {
      unlogged = ull_dropped_unlogged;
      ull_dropped_unlogged = 0;
      b_drop_logged = true;
      tp_last_drop_line = now;
    }
  }
  if (unlogged > 0) {
    HFileLog::ins().log(2, kLogSource, __LINE__,
                        L"standard output does not keep up: %llu lines not shown, %llu so far",
                        static_cast<unsigned long long>(unlogged), static_cast<unsigned long long>(dropped()));
  }
}

bool HConsoleWriter::flush(std::chrono::milliseconds timeout) { return queue.flush(timeout); }

uint64_t HConsoleWriter::dropped() const { return queue.dropped(); }

void HConsoleWriter::set_sink(std::function<void(const std::string&)> sink) {
  std::lock_guard<std::mutex> lock(mtx_state);
  fn_sink = std::move(sink);
}

void HConsoleWriter::show(const std::string& line) {
  std::function<void(const std::string&)> sink;
  {
    std::lock_guard<std::mutex> lock(mtx_state);
    sink = fn_sink;
  }
  if (sink) {
    sink(line);
  } else {
    put(line);
  }
}

// Blocks as long as standard output does: only this thread waits for it.
void HConsoleWriter::put(const std::string& line) {
  size_t done = 0;
  while (done < line.size()) {
    ssize_t n = ::write(1, line.data() + done, line.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } else if (n < 0 && errno != EINTR) {
      return;  // closed or broken: the line cannot be shown
    }
  }
}
