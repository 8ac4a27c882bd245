#include "arpguard/HGetSysArpTable.h"

#include "arpguard/HThreadTidewell.h"
#include "frame/HPTWGlobal.h"
#include "platform/WinTime.h"

void HGetSysArpTable::run() {
  for (;;) {
    Sleep(kRefreshMs);
    run_pass();
  }
}

void HGetSysArpTable::run_pass() {
  HIEUtil::RecMutex::Lock lock(mtx_refresh);
  HThreadTidewell* guard = HPTWGlobal::ins().p_thread_tidewell;
  if (guard) guard->BuildMapAndSet(false);
}
