#include "frame/HReportGate.h"

#include <algorithm>

#include "host/HFileLog.h"
#include "platform/WinTime.h"

HReportGate::HReportGate(const wchar_t* log_source) : p_log_source(log_source) {}

bool HReportGate::pass(const std::wstring& key) {
  DWORD now = GetTickCount();
  std::lock_guard<std::mutex> lock(mtx_gate);
  auto it = map_windows.find(key);
  if (it != map_windows.end() && now - it->second.dw_start < kWindowMs) {
    ++it->second.ull_repeats;
    ++ull_suppressed;
    return false;
  }
  if (!admit_new_key(key, now)) {
    ++ull_over_budget;
    ++ull_suppressed;
    return false;
  }
  if (it != map_windows.end()) {
    end_window(it);
  } else if (map_windows.size() >= kMaxKeys) {
    make_room(now);
  }
  map_windows[key] = Window{now, 0};
  return true;
}

HReportGate::Budget& HReportGate::budget_of(const std::wstring& key) {
  size_t kind_len = std::min(key.find(L' '), key.size());
  for (auto& entry : vt_budgets) {
    if (entry.first.size() == kind_len && key.compare(0, kind_len, entry.first) == 0) return entry.second;
  }
  vt_budgets.emplace_back(key.substr(0, kind_len), Budget());
  return vt_budgets.back().second;
}

bool HReportGate::admit_new_key(const std::wstring& key, DWORD now) {
  Budget& budget = budget_of(key);
  if (budget.i_used == 0 || now - budget.dw_start >= kBudgetMs) {
    budget.dw_start = now;
    budget.i_used = 0;
  }
  if (budget.i_used >= kNewKeysPerSecond) return false;
  ++budget.i_used;
  return true;
}

// The table is full: expired windows go first, else the oldest one.
void HReportGate::make_room(DWORD now) {
  auto oldest = map_windows.end();
  for (auto it = map_windows.begin(); it != map_windows.end();) {
    if (now - it->second.dw_start >= kWindowMs) {
      auto next = std::next(it);
      end_window(it);
      it = next;
      continue;
    }
    if (oldest == map_windows.end() || now - it->second.dw_start > now - oldest->second.dw_start) oldest = it;
    ++it;
  }
  if (map_windows.size() >= kMaxKeys && oldest != map_windows.end()) end_window(oldest);
}

// Under the lock: the window leaves the table; its repeats wait for check().
void HReportGate::end_window(WindowMap::iterator it) {
  if (it->second.ull_repeats > 0) vt_ended.push_back(Ended{it->first, it->second.ull_repeats});
  map_windows.erase(it);
}

void HReportGate::count_lost(uint64_t n) {
  std::lock_guard<std::mutex> lock(mtx_gate);
  ull_lost += n;
  ull_suppressed += n;
}

void HReportGate::check(bool b_all) {
  DWORD now = GetTickCount();
  std::vector<Ended> ended;
  uint64_t over_budget = 0, lost = 0, total = 0;
  {
    std::lock_guard<std::mutex> lock(mtx_gate);
    for (auto it = map_windows.begin(); it != map_windows.end();) {
      auto next = std::next(it);
      if (now - it->second.dw_start >= kWindowMs) {
        end_window(it);
      } else if (b_all && it->second.ull_repeats > 0) {
        vt_ended.push_back(Ended{it->first, it->second.ull_repeats});
        it->second.ull_repeats = 0;
      }
      it = next;
    }
    ended.swap(vt_ended);
    bool b_count_due = !b_count_logged || now - dw_last_count_line >= kBudgetMs || b_all;
    if ((ull_over_budget > 0 || ull_lost > 0) && b_count_due) {
      over_budget = ull_over_budget;
      lost = ull_lost;
      total = ull_suppressed;
      ull_over_budget = ull_lost = 0;
      dw_last_count_line = now;
      b_count_logged = true;
    }
  }
  for (const Ended& e : ended) {
    HFileLog::ins().log(2, p_log_source, __LINE__, L"%s: %llu repeats within %u s suppressed", e.str_key.c_str(),
                        static_cast<unsigned long long>(e.ull_repeats), static_cast<unsigned>(kWindowMs / 1000));
  }
  if (over_budget > 0 || lost > 0) {
    HFileLog::ins().log(2, p_log_source, __LINE__,
                        L"reports suppressed: %llu new over the budget of %u a second, %llu lost to a full queue, "
                        L"%llu suppressed so far",
                        static_cast<unsigned long long>(over_budget), kNewKeysPerSecond,
                        static_cast<unsigned long long>(lost), static_cast<unsigned long long>(total));
  }
}

uint64_t HReportGate::suppressed() const {
  std::lock_guard<std::mutex> lock(mtx_gate);
  return ull_suppressed;
}

void HReportGate::reset() {
  std::lock_guard<std::mutex> lock(mtx_gate);
  map_windows.clear();
  vt_budgets.clear();
  vt_ended.clear();
  ull_over_budget = ull_lost = ull_suppressed = 0;
  dw_last_count_line = 0;
  b_count_logged = false;
}
