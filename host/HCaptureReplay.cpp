// The capture helper's bookkeeping of a replay: its pacing, its end, a
// damaged file and the time a sent frame is stamped with.
#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>

#include "host/HWinPCapHelper.h"
#include "host/HWinPCapHelperImpl.h"

namespace {

constexpr auto PACING_SLICE = std::chrono::milliseconds(20);

int64_t ns_of(std::chrono::steady_clock::time_point when) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch()).count();
}

}  // namespace

auto HWinPCapHelper::Impl::mark_replay_wall() -> Clock::time_point {
  Clock::time_point now = Clock::now();
  ll_replay_wall_ns.store(ns_of(now), std::memory_order_relaxed);
  return now;
}

// Sleeps in short slices so that stop() is never kept waiting by the pacing.
bool HWinPCapHelper::Impl::wait_until(Clock::time_point when) {
  while (!b_stop.load()) {
    Clock::time_point now = Clock::now();
    if (now >= when) return true;
    std::this_thread::sleep_for(std::min<Clock::duration>(when - now, PACING_SLICE));
  }
  return false;
}

void HWinPCapHelper::Impl::end_replay(const std::string& file, std::atomic<bool>& done) {
  ll_replay_end_ns.store(ns_of(Clock::now()));
  done.store(true);
  log_line(2, __LINE__, "replay of " + file + " done, frames " + std::to_string(ull_read.load()));
}

void HWinPCapHelper::Impl::fail_replay(const std::string& file, const std::string& why) {
  std::string text =
      "capture file " + file + " is damaged after " + std::to_string(ull_read.load()) + " frames: " + why;
  set_error(text);
  {
    std::lock_guard<std::mutex> lock(mtx_error);
    str_replay_damage = text;
  }
  log_line(1, __LINE__, text);
}

void HWinPCapHelper::Impl::note_gap_cut(const std::string& file, double gap_s) {
  char what[160];
  std::snprintf(what, sizeof(what),
                ": the capture's clock jumps %.3f s after frame %llu; one gap is waited for %g s at the most"
                " (--linger)",
                gap_s, static_cast<unsigned long long>(ull_read.load()), d_longest_gap_s);
  std::string text = "replay of " + file + what;
  // Said where the user looks as well: a replay that hurries past a gap is no fault.
  std::fprintf(stderr, "%s\n", text.c_str());
  log_line(2, __LINE__, text);
}

void HWinPCapHelper::Impl::clear_replay_damage() {
  std::lock_guard<std::mutex> lock(mtx_error);
  str_replay_damage.clear();
}

std::string HWinPCapHelper::Impl::replay_damage() const {
  std::lock_guard<std::mutex> lock(mtx_error);
  return str_replay_damage;
}

double HWinPCapHelper::Impl::replay_send_time() const {
  double replay_ts = d_replay_ts.load(std::memory_order_relaxed);
  if (replay_ts <= 0) return 0;
  Clock::time_point delivered{std::chrono::nanoseconds(ll_replay_wall_ns.load(std::memory_order_relaxed))};
  double since = std::max(0.0, std::chrono::duration<double>(Clock::now() - delivered).count());
  return replay_ts + (d_send_speed > 0 ? since * d_send_speed : since);
}

