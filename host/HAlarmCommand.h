#pragma once
// The administrator's alarm command (agent.alarm_command): a program, run
// without a shell, for each alarm, with the alarm's JSON line on its
// standard input. At most kMaxRunning run at a time, each until its
// deadline, when it is killed; the alarms behind them wait in a bounded
// queue, and those that find it full are dropped and counted. A run that
// does not start, ends with a status other than 0 or is killed is logged.
//
// One pass (run_pass) reaps, kills and starts; the agent's runner thread
// makes a pass whenever an alarm arrives and every 20 ms while runs are
// going. Nobody who hands an alarm in waits for a program.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <mutex>
#include <string>

#include "host/HChildProcess.h"

class HAlarmCommand {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr size_t kMaxRunning = 4;
  static constexpr size_t kMaxQueued = 256;
  static constexpr uint32_t kDefaultTimeoutMs = 10000;

  // The agent's runner, with a thread of its own that starts with the
  // first alarm.
  static HAlarmCommand& ins();
  // A runner without a thread: the caller makes the passes (tests).
  HAlarmCommand() = default;

  // `program` "" turns the command off.
  void configure(const std::string& program, uint32_t timeout_ms);
  // Queues a run with `input`; false when there is no command or the queue
  // is full (then counted and logged).
  bool push(std::string input);
  // Reaps the runs that ended, kills those past their deadline, starts
  // queued ones up to kMaxRunning. Returns the runs running and queued.
  size_t run_pass(Clock::time_point now);

  size_t running() const;
  uint64_t dropped() const { return ull_dropped; }
  uint64_t failed() const { return ull_failed; }

 private:
  struct Run {
    HChildProcess child;
    Clock::time_point tp_deadline;
  };
  void fail_locked(const std::string& why);
  void run_thread();

  mutable std::mutex mtx_runs;
  std::condition_variable cv_work;
  std::string str_program;
  std::chrono::milliseconds ms_timeout{kDefaultTimeoutMs};
  std::deque<std::string> dq_inputs;
  std::list<Run> lt_running;
  std::atomic<uint64_t> ull_dropped{0};
  std::atomic<uint64_t> ull_failed{0};
  bool b_dropping = false;  // said in the log since the last alarm taken
  bool b_own_thread = false;
  bool b_thread_started = false;
};
