#include "host/HReplayPacer.h"

#include <algorithm>

namespace {

// About 30 years: far beyond any run, far within what a duration holds.
constexpr double kLongestDueS = 1e9;

}  // namespace

HReplayPacer::HReplayPacer(double speed, double longest_gap_s)
    : d_speed(speed), d_longest_gap_s(std::max(0.0, longest_gap_s)) {}

HReplayPacer::Clock::duration HReplayPacer::due(double ts) {
  b_first_cut = false;
  if (b_started) {
    double gap = (ts - d_last_ts) / d_speed;
    if (!(gap > 0)) gap = 0;  // backwards, or not a number
    if (gap > d_longest_gap_s) {
      b_first_cut = !b_cut;
      b_cut = true;
      if (b_first_cut) d_gap_cut_s = ts - d_last_ts;
      gap = d_longest_gap_s;
    }
    d_due_s = std::min(d_due_s + gap, kLongestDueS);
  }
  b_started = true;
  d_last_ts = ts;
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(d_due_s));
}

double HReplayPacer::capture_seconds(int64_t seconds, int64_t micros) {
  return static_cast<double>(static_cast<uint32_t>(seconds)) + static_cast<double>(micros) / 1e6;
}
