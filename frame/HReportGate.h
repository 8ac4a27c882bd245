#pragma once
// Keeps a flood of reports from becoming a flood of alarms, core records and
// disk syncs. A report is known by its key (the report id and its values):
// the first one of a key goes out, repeats within 60 s of it are only
// counted, and when that window ends with repeats one log line says how many
// were held back. New keys of one kind (the text before the first blank of
// the key) are let through at most 20 a second; beyond that they are counted
// and the count is logged at most once a second. Ticks are GetTickCount
// milliseconds, compared as unsigned differences, so the counter's wrap does
// no harm. pass() only counts and never logs: it runs on the capture thread;
// check() writes the lines.
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <mutex>
#include <string>
#include <vector>

#include "platform/WinTypes.h"

class HReportGate {
 public:
  static constexpr DWORD kWindowMs = 60000;
  static constexpr DWORD kBudgetMs = 1000;
  static constexpr unsigned kNewKeysPerSecond = 20;
  static constexpr size_t kMaxKeys = 4096;

  explicit HReportGate(const wchar_t* log_source);

  // True when the report of this key goes out; false when it is held back.
  bool pass(const std::wstring& key);
  // Counts a report lost elsewhere on its way (a full queue); logged by check().
  void count_lost(uint64_t n);
  // Logs the windows that ended with repeats and the reports over the
  // budget or lost since the last line. With `b_all` (at stop) the repeats
  // of windows still open are logged too.
  void check(bool b_all = false);
  // Reports held back or lost so far.
  uint64_t suppressed() const;
  // Forgets every window and count: the gate as at start (a test seam, for
  // the tests of one program that each start afresh).
  void reset();

 private:
  struct Window {
    DWORD dw_start = 0;
    uint64_t ull_repeats = 0;
  };
  struct Budget {
    DWORD dw_start = 0;
    unsigned i_used = 0;
  };
  struct Ended {
    std::wstring str_key;
    uint64_t ull_repeats;
  };

  typedef std::unordered_map<std::wstring, Window> WindowMap;

  bool admit_new_key(const std::wstring& key, DWORD now);
  Budget& budget_of(const std::wstring& key);
  void make_room(DWORD now);
  void end_window(WindowMap::iterator it);

  const wchar_t* p_log_source;
  mutable std::mutex mtx_gate;
  WindowMap map_windows;
  // Per kind of report: a handful, searched without making a string.
  std::vector<std::pair<std::wstring, Budget>> vt_budgets;
  std::vector<Ended> vt_ended;                 // windows with repeats, not yet logged
  uint64_t ull_over_budget = 0;                // since the last line
  uint64_t ull_lost = 0;                       // since the last line
  uint64_t ull_suppressed = 0;                 // in all
  DWORD dw_last_count_line = 0;
  bool b_count_logged = false;
};
