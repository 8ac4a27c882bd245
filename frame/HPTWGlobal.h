#pragma once
// The plug-in's one global object: its name, the long-lived objects that
// start-up creates, the policy records and the audit report store.
#include <map>
#include <vector>

#include "frame/HAuditReportMgr.h"
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

  int report_attack(bool b_arp, const std::map<HString, HString>& mapDesc, const HString& str_desc, int lan_id);
  int report_one(const ARPSpoofingReport_Local& record);
  int report_vector(ReportVector& records);
  int report_empty();

  HString str_name;
  HTWPkgCallback* p_arp_callback;
  HDhcpAttackCallback* p_dhcp_callback;
  HThreadTidewell* p_thread_tidewell;
  HTestThread* p_test_thread;
  HGetSysArpTable* p_get_sys_arp_table;
  std::vector<AntiARPSpoofing_Local> vt_arp;
  HAuditReportMgr audit_report_mgr;
  // With DHCP protection alone: hands ARP answers to the DHCP gateway probe.
  HDhcpArpWatchCallback* p_dhcp_arp_callback;

 private:
  HPTWGlobal();
};
