#pragma once
// The agent's end-of-run summary: frames read, the rate through the plug-in's
// callbacks, every frame dropped and where (the capture, the guard's queue),
// the frames that the plug-in left unjudged (also the claims still queued
// at the stop), what the plug-in sent, what the
// core took in, the reports the plug-in held back and the alarm lines that
// standard output did not take, and the writes to the home that failed.
#include <cstdint>
#include <string>

#include "host/HWinPCapHelper.h"

class AgentSummary {
 public:
  HCaptureStats capture;
  uint64_t ull_reports = 0;
  uint64_t ull_alarms = 0;
  uint64_t ull_reports_suppressed = 0;
  uint64_t ull_alarm_lines_not_shown = 0;
  uint64_t ull_write_failures = 0;      // writes to the home's files that failed
  std::string str_first_write_failure;  // "FILE: reason" of the first
  double d_wall_seconds = 0;
  std::string str_replay_damage;  // empty unless the replayed file was damaged

  // Frames through the callbacks per second of capture; 0 before any.
  double rate() const;
  // Frames lost on the way: by the capture and by the plug-in's full queue.
  uint64_t dropped() const;
  // The lines for standard output, each ending in a newline.
  std::string text() const;
  // "write failures: N (first: FILE: reason)".
  std::string write_failures() const;
  // One line for the agent's log.
  std::string log_line() const;
};
