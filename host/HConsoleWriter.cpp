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

bool HConsoleWriter::write(std::string line) {
  uint64_t unlogged = 0, total = 0;
  {
    std::lock_guard<std::mutex> lock(mtx_lines);
    if (dq_lines.size() < kMaxQueued) {
      dq_lines.push_back(std::move(line));
      if (!b_started) {
        b_started = true;
        std::thread([this] { run(); }).detach();
      }
      cv_lines.notify_one();
      return true;
    }
    ++ull_dropped;
    ++ull_dropped_unlogged;
    auto now = std::chrono::steady_clock::now();
    if (ull_dropped_unlogged == ull_dropped || now - tp_last_drop_line >= kDropLinePace) {
      unlogged = ull_dropped_unlogged;
      total = ull_dropped;
      ull_dropped_unlogged = 0;
      tp_last_drop_line = now;
    }
  }
  if (unlogged > 0) {
    HFileLog::ins().log(2, kLogSource, __LINE__,
                        L"standard output does not keep up: %llu lines not shown, %llu so far",
                        static_cast<unsigned long long>(unlogged), static_cast<unsigned long long>(total));
  }
  return false;
}

bool HConsoleWriter::flush(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mtx_lines);
  return cv_done.wait_for(lock, timeout, [this] { return dq_lines.empty() && !b_writing; });
}

uint64_t HConsoleWriter::dropped() const {
  std::lock_guard<std::mutex> lock(mtx_lines);
  return ull_dropped;
}

void HConsoleWriter::set_sink(std::function<void(const std::string&)> sink) {
  std::lock_guard<std::mutex> lock(mtx_lines);
  fn_sink = std::move(sink);
}

void HConsoleWriter::run() {
  std::unique_lock<std::mutex> lock(mtx_lines);
  for (;;) {
    cv_lines.wait(lock, [this] { return !dq_lines.empty(); });
    std::string line = std::move(dq_lines.front());
    dq_lines.pop_front();
    b_writing = true;
    std::function<void(const std::string&)> sink = fn_sink;
    lock.unlock();
    if (sink) {
      sink(line);
    } else {
      put(line);
    }
    lock.lock();
    b_writing = false;
    if (dq_lines.empty()) cv_done.notify_all();
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
