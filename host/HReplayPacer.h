#pragma once
// The pace of a replay: when each frame is due after the replay began, from
// the gaps between the capture's time stamps divided by the speed. One gap
// is waited for at most `longest_gap_s`, so that a capture whose clock
// jumped by years still ends; a gap backwards is no wait. Every wait is
// reckoned in double and clamped before it becomes a duration: no speed,
// however small, overflows it.
#include <chrono>
#include <cstdint>

class HReplayPacer {
 public:
  using Clock = std::chrono::steady_clock;

  // `speed` above 0 (capture seconds per wall second).
  HReplayPacer(double speed, double longest_gap_s);

  // When the frame stamped `ts` (capture seconds) is due, after the first
  // frame's delivery.
  Clock::duration due(double ts);
  // True right after the due() that cut a gap for the first time: the
  // caller says so once. gap_cut_s() is that gap, in capture seconds.
  bool first_cut() const { return b_first_cut; }
  double gap_cut_s() const { return d_gap_cut_s; }

  // A pcap record's time stamp: its seconds are unsigned 32-bit, which
  // libpcap hands on sign-extended from 2038 on.
  static double capture_seconds(int64_t seconds, int64_t micros);

 private:
  double d_speed;
  double d_longest_gap_s;
  double d_due_s = 0;
  double d_last_ts = 0;
  bool b_started = false;
  bool b_cut = false;
  bool b_first_cut = false;
  double d_gap_cut_s = 0;
};
