#include "host/HCoreEvents.h"

#include <thread>

#include "host/HFileLog.h"
#include "platform/SystemLog.h"

HCoreEvents& HCoreEvents::ins() {
  // Never destroyed: its thread may still be in the system log at exit.
  static HCoreEvents* events = new HCoreEvents();
  return *events;
}

void HCoreEvents::set_system_log(bool on) {
  std::lock_guard<std::mutex> lock(mtx_tasks);
  b_system_log = on;
}

void HCoreEvents::system_log(std::string line) {
  {
    std::lock_guard<std::mutex> lock(mtx_tasks);
    if (!b_system_log) return;
  }
  post([line = std::move(line)] { platform::system_log_warning(line); });
}

bool HCoreEvents::post(std::function<void()> task) {
  std::lock_guard<std::mutex> lock(mtx_tasks);
  if (dq_tasks.size() >= kMaxQueued) {
    ++ull_dropped;
    // Said once per run of drops: the queue is full only under a flood.
    if (!b_dropping) {
      HFileLog::ins().log(1, L"HCoreEvents", __LINE__, L"event queue full: system log lines and window alarms dropped");
    }
    b_dropping = true;
    return false;
  }
  b_dropping = false;
  dq_tasks.push_back(std::move(task));
  if (!b_started) {
    b_started = true;
    std::thread([this] { run(); }).detach();
  }
  cv_tasks.notify_one();
  return true;
}

bool HCoreEvents::flush(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mtx_tasks);
  return cv_done.wait_for(lock, timeout, [this] { return dq_tasks.empty() && !b_running_task; });
}

uint64_t HCoreEvents::dropped() const {
  std::lock_guard<std::mutex> lock(mtx_tasks);
  return ull_dropped;
}

void HCoreEvents::run() {
  std::unique_lock<std::mutex> lock(mtx_tasks);
  for (;;) {
    cv_tasks.wait(lock, [this] { return !dq_tasks.empty(); });
    std::function<void()> task = std::move(dq_tasks.front());
    dq_tasks.pop_front();
    b_running_task = true;
    if (b_system_log && !b_log_opened) {
      b_log_opened = true;
      platform::open_system_log(kSystemLogTag);
    }
    lock.unlock();
    task();
    lock.lock();
    b_running_task = false;
    if (dq_tasks.empty()) cv_done.notify_all();
  }
}
