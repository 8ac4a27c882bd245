#pragma once
// The plug-in's one global object: its name, the long-lived objects that
// start-up creates, the policy records, the audit report store and the way
// reports take to it (the gate against floods, the report thread).
#include <map>
#include <vector>

#include "frame/HAuditReportMgr.h"
#include "frame/HReportGate.h"
#include "frame/HReportQueue.h"
#include "host/AntiARPSpoofing_Local.h"
#include "host/HString.h"

class HTWPkgCallback;
class HDhcpAttackCallback;
class HDhcpArpWatchCallback;
class HThreadTidewell;
class HTestThread;
class HGetSysArpTable;

class HPTWGlobal {
 public:
  static HPTWGlobal& ins();

  // Queues the report for the report thread, unless the gate holds it back
  // as a repeat or one too many; never waits for the alarm or the store.
  int report_attack(bool b_arp, const std::map<HString, HString>& mapDesc, const HString& str_desc, int lan_id);
  // Waits at most `timeout_ms` until every queued report is out and logs
  // what the gate held back; true when nothing was left.
  bool flush_reports(DWORD timeout_ms);
  // At the agent's stop: the queued reports go out (within a bounded
  // time), every count of held-back reports is logged and told the core.
  void stop_reports();
  int report_one(const ARPSpoofingReport_Local& record);
  int report_vector(ReportVector& records);
  int report_empty();

  HString str_name;
  // Never deleted. The guard, the probe and the refresher are held with a
  // reference of their own: a thread that cannot start leaves them in place.
  HTWPkgCallback* p_arp_callback;
  HDhcpAttackCallback* p_dhcp_callback;
  HThreadTidewell* p_thread_tidewell;
  HTestThread* p_test_thread;
  HGetSysArpTable* p_get_sys_arp_table;
  std::vector<AntiARPSpoofing_Local> vt_arp;
  HAuditReportMgr audit_report_mgr;
  // With DHCP protection alone: hands ARP answers to the DHCP gateway probe.
  HDhcpArpWatchCallback* p_dhcp_arp_callback;
  HReportGate report_gate;
  HReportQueue report_queue;

 private:
  HPTWGlobal();
  // The report thread's part of report_attack: alarm, record, log line, store.
  void deliver_report(const HPendingReport& report);
};
