#include "frame/HReportQueue.h"

#include <chrono>

#include "host/HFileLog.h"

namespace {

const wchar_t kLogSource[] = L".\\HReportQueue";

}  // namespace

HReportQueue::HReportQueue(std::function<void(const HPendingReport&)> deliver, std::function<void()> idle)
    : fn_deliver(std::move(deliver)), fn_idle(std::move(idle)) {
  // Held by value by its owner: the thread's reference must never be the last.
  __incRef();
}

int HReportQueue::push(HPendingReport report) {
  {
    std::lock_guard<std::mutex> lock(mtx_queue);
    if (!b_started) start_locked();
    if (b_thread) {
      if (dq_reports.size() >= kMaxQueued) return -1;
      dq_reports.push_back(std::move(report));
      cv_work.notify_one();
      return 0;
    }
  }
  // Without its thread the report still goes out, on the caller's thread.
  fn_deliver(report);
  return 0;
}

void HReportQueue::start_locked() {
  b_started = true;
  try {
    start(0).detach();
    b_thread = true;
  } catch (const HIEUtil::NullHandleException&) {
    HFileLog::ins().log(1, kLogSource, __LINE__, L"cannot start the report thread: reports go out on their callers");
  }
}

bool HReportQueue::flush(DWORD timeout_ms) {
  std::unique_lock<std::mutex> lock(mtx_queue);
  return cv_idle.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                          [this] { return dq_reports.empty() && !b_busy; });
}

size_t HReportQueue::waiting() const {
  std::lock_guard<std::mutex> lock(mtx_queue);
  return dq_reports.size();
}

void HReportQueue::run() {
  std::unique_lock<std::mutex> lock(mtx_queue);
  for (;;) {
    cv_work.wait_for(lock, std::chrono::milliseconds(kIdleWakeMs), [this] { return !dq_reports.empty(); });
    b_busy = true;
    while (!dq_reports.empty()) {
      HPendingReport report = std::move(dq_reports.front());
      dq_reports.pop_front();
      lock.unlock();
      try {
        fn_deliver(report);
      } catch (...) {
        HFileLog::ins().log(1, kLogSource, __LINE__, L"a report failed on its way out: %s", report.str_desc.wc_str());
      }
      lock.lock();
    }
    lock.unlock();
    fn_idle();
    lock.lock();
    b_busy = false;
    cv_idle.notify_all();
  }
}
