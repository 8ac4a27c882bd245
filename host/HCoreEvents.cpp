#include "host/HCoreEvents.h"

#include <thread>

#include "host/HFileLog.h"
#include "platform/SystemLog.h"

HCoreEvents& HCoreEvents::ins() {
  // Never destroyed: its thread may still be in the system log at exit.
  static HCoreEvents* events = new HCoreEvents();
  return *events;
}

HCoreEvents::HCoreEvents() : queue(kMaxQueued, [this](std::function<void()>& task) { run_task(task); }) {}

void HCoreEvents::set_system_log(bool on) { b_system_log = on; }

void HCoreEvents::system_log(std::string line) {
  if (!b_system_log) return;
  post([line = std::move(line)] { platform::system_log_warning(line); });
}

bool HCoreEvents::post(std::function<void()> task) {
  if (queue.post(std::move(task))) {
    b_dropping = false;
    return true;
  }
  // Said once per run of drops: the queue is full only under a flood.
  if (!b_dropping.exchange(true)) {
    HFileLog::ins().log(1, L"HCoreEvents", __LINE__, L"event queue full: system log lines and window alarms dropped");
  }
  return false;
}

bool HCoreEvents::flush(std::chrono::milliseconds timeout) { return queue.flush(timeout); }

uint64_t HCoreEvents::dropped() const { return queue.dropped(); }

void HCoreEvents::run_task(std::function<void()>& task) {
  if (b_system_log && !b_log_opened) {
    b_log_opened = true;
    platform::open_system_log(kSystemLogTag);
  }
  task();
}
