#pragma once
// Re-reads the static entries of the system ARP table into the guard every
// 30 seconds. It reaches the guard through the global state.
#include "host/HIEUtil.h"
#include "platform/WinTypes.h"

class HGetSysArpTable : public HIEUtil::Thread {
 public:
  static constexpr DWORD kRefreshMs = 30000;

  void run() override;
  // One refresh, without the wait before it.
  void run_pass();

 private:
  HIEUtil::RecMutex mtx_refresh;
};
