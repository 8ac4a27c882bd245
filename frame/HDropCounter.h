#pragma once
// Counts what a bounded list or queue refuses and says which drops to log:
// the first, then at most one a second while the drops go on, so that a long
// flood shows in the log with its count and not only its start. After
// rearm() (the list took something again) the next drop is logged at once.
#include <atomic>
#include <cstdint>

#include "platform/WinTime.h"
#include "platform/WinTypes.h"

class HDropCounter {
 public:
  static constexpr DWORD kLogIntervalMs = 1000;

  // Under the owner's lock. Counts one drop into `total` (this one
  // included); true when it is to be logged.
  bool count(uint64_t& total) {
    total = ull_count.fetch_add(1, std::memory_order_relaxed) + 1;
    DWORD now = GetTickCount();
    // Unsigned difference: the tick counter wraps after 49.7 days.
    if (b_logged && DWORD(now - dw_logged) < kLogIntervalMs) return false;
    b_logged = true;
    dw_logged = now;
    return true;
  }
  // Under the owner's lock.
  void rearm() { b_logged = false; }
  // Anywhere.
  uint64_t total() const { return ull_count.load(std::memory_order_relaxed); }

 private:
  std::atomic<uint64_t> ull_count{0};
  DWORD dw_logged = 0;
  bool b_logged = false;
};
