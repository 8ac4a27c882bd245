// The part of the home that is the same on every system: the record of
// failed writes. Opening and checking the home's files is HHomeFiles.cpp's.
#include "host/HHomeDir.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <set>

namespace {

struct WriteFailures {
  std::mutex mtx;
  std::set<std::string> set_failing;  // files whose last write failed
  std::atomic<int> i_failing{0};      // their count, read without the lock on every write
  uint64_t ull_count = 0;
  std::string str_first;
};

// Never destroyed: threads may still write while the process exits.
WriteFailures& write_failures() {
  static WriteFailures* state = new WriteFailures;
  return *state;
}

}  // namespace

bool HHomeDir::note_failure(const std::string& path, int error) {
  WriteFailures& f = write_failures();
  std::lock_guard<std::mutex> lock(f.mtx);
  if (f.ull_count++ == 0) f.str_first = path + ": " + std::strerror(error);
  bool first = f.set_failing.insert(path).second;
  f.i_failing.store(static_cast<int>(f.set_failing.size()), std::memory_order_relaxed);
  return first;
}

void HHomeDir::note_success(const std::string& path) {
  WriteFailures& f = write_failures();
  if (f.i_failing.load(std::memory_order_relaxed) == 0) return;
  std::lock_guard<std::mutex> lock(f.mtx);
  f.set_failing.erase(path);
  f.i_failing.store(static_cast<int>(f.set_failing.size()), std::memory_order_relaxed);
}

uint64_t HHomeDir::failures(std::string& first) {
  WriteFailures& f = write_failures();
  std::lock_guard<std::mutex> lock(f.mtx);
  first = f.str_first;
  return f.ull_count;
}
