#pragma once
// The core's side work, off the threads that raise events: the lines for
// the system log (which may wait for its socket) and the DHCP alarm
// window's lines for core/alarms.jsonl (whose file the core also syncs
// reports into). Tasks run in order on a thread of their own; the queue is
// bounded, and a task that finds it full is dropped and counted.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "host/HTaskQueue.h"

class HCoreEvents {
 public:
  static constexpr size_t kMaxQueued = 1024;
  static constexpr const char* kSystemLogTag = "velmora-agent";

  static HCoreEvents& ins();

  // Off until the agent turns it on (agent.syslog, true by default).
  void set_system_log(bool on);
  // Queues `line` for the system log when it is on.
  void system_log(std::string line);
  // Queues a task; false when it was dropped.
  bool post(std::function<void()> task);
  // Waits at most `timeout` until every queued task has run; true then.
  bool flush(std::chrono::milliseconds timeout);
  uint64_t dropped() const;

 private:
  HCoreEvents();
  void run_task(std::function<void()>& task);

  HTaskQueue<std::function<void()>> queue;
  std::atomic<bool> b_system_log{false};
  std::atomic<bool> b_dropping{false};  // said in the log since the last task queued
  bool b_log_opened = false;            // the queue's thread only
};
