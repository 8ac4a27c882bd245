#include "frame/Tidewell.h"

#include <arpa/inet.h>

#include <exception>

#include "arpguard/HThreadTidewell.h"
#include "arpwatch/HTWPkgCallback.h"
#include "dhcpguard/HDhcpArpWatchCallback.h"
#include "dhcpguard/HDhcpAttackCallback.h"
#include "frame/AttackLog.h"
#include "frame/HGuardModules.h"
#include "frame/HPTWGlobal.h"
#include "frame/HStateView.h"
#include "frame/TidewellApp.h"
#include "host/HCustConfigMgr.h"
#include "host/HDataCenter.h"
#include "host/HEventCenter.h"
#include "host/HFileLog.h"
#include "host/HWinPCapHelper.h"
#include "platform/WinString.h"

namespace {

const wchar_t kSource[] = L".\\Tidewell";

void log_exception(int line, const wchar_t* where, const std::exception* e) {
  HString what = e ? HString(e->what()) : HString(L"unknown exception");
  HFileLog::ins().log(1, kSource, line, L"%s: %s", where, what.wc_str());
}

// The host gives buffers of at least 9 wide characters; a null one is
// skipped rather than written through.
void copy_name(wchar_t* name_out, wchar_t* name_out2) {
  const wchar_t* name = HPTWGlobal::ins().str_name.wc_str();
  if (name_out) wcscpy(name_out, name);
  if (name_out2) wcscpy(name_out2, name_out ? name_out : name);
}

void load_policy() {
  HPTWGlobal& global = HPTWGlobal::ins();
  global.vt_arp.clear();
  HDataCenter::GetPolicy()->get_AntiARPSpoofing_Local(global.vt_arp);
  HFileLog::ins().log(2, kSource, __LINE__, L"get_AntiARPSpoofing_Local size:%d", static_cast<int>(global.vt_arp.size()));
}

void open_audit_store() {
  HPTWGlobal& global = HPTWGlobal::ins();
  global.audit_report_mgr.init(L"NetSecurity", L"AntiARPSpoofing", L"arc_file\\his_arp_attack", 173, 300);
  global.report_empty();
}

// The order matters: the ARP callback's constructor hands the host's main
// address to the guard, which must already be stored.
void create_objects() {
  HPTWGlobal& global = HPTWGlobal::ins();
  global.p_thread_tidewell = new HThreadTidewell();
  // The callbacks and the refresher use the guard even when its thread
  // cannot start: the global state holds a reference of its own.
  global.p_thread_tidewell->__incRef();
  global.p_arp_callback = new HTWPkgCallback();
  global.p_arp_callback->us_filter = htons(0x0806);
  global.p_dhcp_callback = new HDhcpAttackCallback();
  global.p_dhcp_callback->us_filter = htons(0x0800);
}

// Without the ARP callback no ARP answer would reach the DHCP gateway
// probe, and every probed gateway would end in a false alarm.
void register_dhcp_arp_watch() {
  HPTWGlobal& global = HPTWGlobal::ins();
  global.p_dhcp_arp_callback = new HDhcpArpWatchCallback(global.p_dhcp_callback);
  global.p_dhcp_arp_callback->us_filter = htons(0x0806);
  HWinPCapHelper::instance().add_callback(global.p_dhcp_arp_callback);
  HFileLog::ins().log(2, kSource, __LINE__, L"DHCP only: ARP answers go to the DHCP probe");
}

void register_callbacks(const AntiARPSpoofing_Local& policy) {
  HPTWGlobal& global = HPTWGlobal::ins();
  HWinPCapHelper& helper = HWinPCapHelper::instance();
  if (policy.iAntiARPSpoofing == 1 || policy.iAntiARPSpoofing == 2) {
    helper.add_callback(global.p_arp_callback);
    helper.b_arp = 1;
    HFileLog::ins().log(2, kSource, __LINE__, L"vt_arp[0].iAntiARPSpoofing == 1 or 2");
  }
  if (policy.iAntiDHCPSpoofing == 1) {
    helper.add_callback(global.p_dhcp_callback);
    helper.b_dhcp = 1;
    HFileLog::ins().log(2, kSource, __LINE__, L"vt_arp[0].iAntiDHCPSpoofing == 1 ");
  }
  if (policy.iAntiDHCPSpoofing == 1 && policy.iAntiARPSpoofing != 1 && policy.iAntiARPSpoofing != 2) {
    register_dhcp_arp_watch();
  }
}

void load_driver_and_start_guard() {
  HWinPCapHelper& helper = HWinPCapHelper::instance();
  helper.b_load = 1;
  int ret = helper.load_dll();
  HFileLog::ins().log(2, kSource, __LINE__, L"HWinPCapHelper::instance().load_dll() ret %d", ret);
  try {
    HPTWGlobal::ins().p_thread_tidewell->start(0).detach();
  } catch (const HIEUtil::NullHandleException&) {
    HFileLog::ins().log(1, kSource, __LINE__, L"HThreadTidewell start failed");
  }
}

// Claims that the guard still holds at the stop are never judged; the agent
// shows how many.
void note_claims_left() {
  HThreadTidewell* guard = HPTWGlobal::ins().p_thread_tidewell;
  HWinPCapHelper::instance().note_claims_not_judged_at_stop(guard ? guard->queued() : 0);
}

void start_up(wchar_t* name_out, wchar_t* name_out2) {
  HFileLog::ins().log(2, kSource, __LINE__, L"Tidewell orvoInit");
  copy_name(name_out, name_out2);
  HPTWGlobal& global = HPTWGlobal::ins();
  // The threads of a first start read the policy without a lock: a second
  // start must not clear it under them, nor start a second set of threads.
  if (global.p_thread_tidewell) {
    HFileLog::ins().log(1, kSource, __LINE__, L"Tidewell orvoInit again: already started, ignored");
    return;
  }
  write_attack_log(L"start...");
  load_policy();
  open_audit_store();
  // Reports still on their way must not be lost when the agent stops.
  HEventCenter::ins().add_stop_hook([] {
    note_claims_left();
    HPTWGlobal::ins().stop_reports();
  });
  HEventCenter::ins().set_view_source(&HStateView::collect);
  if (global.vt_arp.empty()) return;
  const AntiARPSpoofing_Local& policy = global.vt_arp.at(0);
  if (policy.iAntiARPSpoofing == 0 && policy.iAntiDHCPSpoofing == 0) {
    HFileLog::ins().log(2, kSource, __LINE__, L"HPTWGlobal::ins().vt_arp[0].iAntiARPSpoofing == 0");
    return;
  }
  create_objects();
  register_callbacks(policy);
  load_driver_and_start_guard();
  HGuardModules::start(HDataCenter::GetGuard());
}

void start_capture() {
  HFileLog::ins().log(2, kSource, __LINE__, L"Tidewell orvoInit2");
  HPTWGlobal& global = HPTWGlobal::ins();
  if (global.vt_arp.empty()) return;
  const AntiARPSpoofing_Local& policy = global.vt_arp.at(0);
  if (policy.iAntiARPSpoofing == 0 && policy.iAntiDHCPSpoofing == 0) return;
  HCustConfigInfo info;
  HCustConfigMgr::instance().GetConfig(info);
  // With 802.1X the agent owns the adapter: no capture of our own.
  if (info.is_auth_802()) return;
  HWinPCapHelper& helper = HWinPCapHelper::instance();
  int ret = helper.init();
  HFileLog::ins().log(2, kSource, __LINE__, L"HWinPCapHelper::instance().init() ret %d", ret);
  ret = helper.start();
  HFileLog::ins().log(2, kSource, __LINE__, L"HWinPCapHelper::instance().start() ret %d", ret);
}

}  // namespace

// The module's one application object, built when the module is loaded.
TidewellApp theApp;

BOOL TidewellApp::InitInstance() { return TRUE; }

int orvoHeartbeat() {
  try {
    HPTWGlobal::ins().audit_report_mgr.report(nullptr);
  } catch (const std::exception& e) {
    log_exception(__LINE__, L"orvoHeartbeat", &e);
  } catch (...) {
    log_exception(__LINE__, L"orvoHeartbeat", nullptr);
  }
  return 0;
}

int orvoInit2() {
  try {
    start_capture();
  } catch (const std::exception& e) {
    log_exception(__LINE__, L"orvoInit2", &e);
  } catch (...) {
    log_exception(__LINE__, L"orvoInit2", nullptr);
  }
  return 0;
}

int orvoInit(wchar_t* name_out, wchar_t* name_out2, int64_t /*reserved*/) {
  try {
    start_up(name_out, name_out2);
  } catch (const std::exception& e) {
    log_exception(__LINE__, L"orvoInit", &e);
  } catch (...) {
    log_exception(__LINE__, L"orvoInit", nullptr);
  }
  return 0;
}

// The configuration comes from the policy read at start-up; nothing here
// changes it.
int orvoSetConfig(const unsigned short* a, const unsigned short* catalogue, const char* /*data*/, int /*x*/,
                  int /*y*/) {
  if (!a || !catalogue) return 0;
  return 0;
}
