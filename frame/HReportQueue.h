#pragma once
// The reports on their way out, off the threads that detect them: the
// capture and guard threads only queue a report (a short lock and a wake-up)
// and one report thread of its own raises the alarm and hands the record to
// the audit store, one report after the other in the order they came. The
// queue is bounded: a report that finds it full is refused and counted by
// the caller. The thread starts with the first report and lives as long as
// the process, as the plug-in's other threads do.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

#include "host/HIEUtil.h"
#include "host/HString.h"
#include "platform/WinTypes.h"

// One report as report_attack was given it, with the online flag of that moment.
struct HPendingReport {
  bool b_arp = false;
  std::map<HString, HString> mapDesc;
  HString str_desc;
  int lan_id = 0;
  bool b_offline = false;
};

class HReportQueue : public HIEUtil::Thread {
 public:
  static constexpr size_t kMaxQueued = 256;
  // The thread also wakes this often with nothing to do, to run `idle`.
  static constexpr DWORD kIdleWakeMs = 1000;

  // `deliver` is called for each report on the report thread; `idle` after
  // each run of reports and at every idle wake-up.
  HReportQueue(std::function<void(const HPendingReport&)> deliver, std::function<void()> idle);

  // 0 when queued; -1 when the queue is full (the report is dropped).
  int push(HPendingReport report);
  // Waits at most `timeout_ms` until every queued report has been delivered
  // and the thread is idle; true when it is.
  bool flush(DWORD timeout_ms);
  size_t waiting() const;

  void run() override;

 private:
  void start_locked();

  std::function<void(const HPendingReport&)> fn_deliver;
  std::function<void()> fn_idle;
  mutable std::mutex mtx_queue;
  std::condition_variable cv_work;
  std::condition_variable cv_idle;
  std::deque<HPendingReport> dq_reports;
  bool b_started = false;
  bool b_thread = false;  // the thread runs (false when it could not be made)
  bool b_busy = false;
};
