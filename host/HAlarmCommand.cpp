#include "host/HAlarmCommand.h"

#include <thread>

#include "host/HFileLog.h"

namespace {

const wchar_t* const kLogSource = L"HAlarmCommand";
constexpr auto kPassWhileRunning = std::chrono::milliseconds(20);

}  // namespace

HAlarmCommand& HAlarmCommand::ins() {
  // Never destroyed: its thread lives as long as the process.
  static HAlarmCommand* runner = [] {
    auto* r = new HAlarmCommand();
    r->b_own_thread = true;
    return r;
  }();
  return *runner;
}

void HAlarmCommand::configure(const std::string& program, uint32_t timeout_ms) {
  std::lock_guard<std::mutex> lock(mtx_runs);
  str_program = program;
  ms_timeout = std::chrono::milliseconds(timeout_ms);
}

bool HAlarmCommand::push(std::string input) {
  std::lock_guard<std::mutex> lock(mtx_runs);
  if (str_program.empty()) return false;
  if (dq_inputs.size() >= kMaxQueued) {
    ++ull_dropped;
    if (!b_dropping) {
      HFileLog::ins().log(1, kLogSource, __LINE__, L"alarm command %S: %d alarms waiting, further alarms dropped",
                          str_program.c_str(), static_cast<int>(kMaxQueued));
    }
    b_dropping = true;
    return false;
  }
  b_dropping = false;
  dq_inputs.push_back(std::move(input));
  if (b_own_thread && !b_thread_started) {
    b_thread_started = true;
    std::thread([this] { run_thread(); }).detach();
  }
  cv_work.notify_one();
  return true;
}

size_t HAlarmCommand::run_pass(Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mtx_runs);
  for (auto run = lt_running.begin(); run != lt_running.end();) {
    std::string outcome;
    if (run->child.poll(outcome)) {
      if (!outcome.empty()) fail_locked(outcome);
    } else if (now >= run->tp_deadline) {
      run->child.kill_and_reap();
      fail_locked("killed after " + std::to_string(ms_timeout.count()) + " ms");
    } else {
      ++run;
      continue;
    }
    run = lt_running.erase(run);
  }
  while (lt_running.size() < kMaxRunning && !dq_inputs.empty()) {
    lt_running.emplace_back();
    Run& run = lt_running.back();
    std::string error;
    if (run.child.start(str_program, dq_inputs.front(), error) == 0) {
      run.tp_deadline = now + ms_timeout;
    } else {
      lt_running.pop_back();
      fail_locked("did not start: " + error);
    }
    dq_inputs.pop_front();
  }
  return lt_running.size() + dq_inputs.size();
}

size_t HAlarmCommand::running() const {
  std::lock_guard<std::mutex> lock(mtx_runs);
  return lt_running.size();
}

void HAlarmCommand::fail_locked(const std::string& why) {
  ++ull_failed;
  HFileLog::ins().log(1, kLogSource, __LINE__, L"alarm command %S %S", str_program.c_str(), why.c_str());
}

void HAlarmCommand::run_thread() {
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mtx_runs);
      if (lt_running.empty()) {
        cv_work.wait(lock, [this] { return !dq_inputs.empty(); });
      } else {
        cv_work.wait_for(lock, kPassWhileRunning);
      }
    }
    run_pass(Clock::now());
  }
}
