#include "frame/HPTWGlobal.h"

#include "host/HDataCenter.h"
#include "host/HEventCenter.h"
#include "host/HFileLog.h"
#include "host/HLanMgr.h"

namespace {

// Built while the module loads. It is never destroyed: the threads that
// start-up leaves running read it until the process ends, and destroying it
// under them at unload would pull the policy out from under a live reader.
[[maybe_unused]] HPTWGlobal& g_loaded = HPTWGlobal::ins();

}  // namespace

HPTWGlobal& HPTWGlobal::ins() {
  static HPTWGlobal* p_instance = new HPTWGlobal();
  return *p_instance;
}

HPTWGlobal::HPTWGlobal()
    : p_arp_callback(nullptr),
      p_dhcp_callback(nullptr),
      p_thread_tidewell(nullptr),
      p_test_thread(nullptr),
      p_get_sys_arp_table(nullptr),
      p_dhcp_arp_callback(nullptr),
      report_gate(L".\\HPTWGlobal"),
      report_queue([this](const HPendingReport& report) { deliver_report(report); },
                   [this] { report_gate.check(); }) {
  str_name = L"Tidewell";
}

namespace {

// How long the agent's stop waits for the queued reports: it must end
// within a second of SIGTERM.
constexpr DWORD kStopFlushMs = 600;

// The gate's key of a report: its id and its values, in the map's order.
std::wstring gate_key(const HString& str_desc, const std::map<HString, HString>& mapDesc) {
  std::wstring key;
  key.reserve(64);
  key += str_desc.wstr();
  for (const auto& entry : mapDesc) {
    key += L' ';
    key += entry.first.wstr();
    key += L'=';
    key += entry.second.wstr();
  }
  return key;
}

}  // namespace

int HPTWGlobal::report_attack(bool b_arp, const std::map<HString, HString>& mapDesc, const HString& str_desc,
                              int lan_id) {
  if (vt_arp.empty()) return -1;
  if (!report_gate.pass(gate_key(str_desc, mapDesc))) return 0;
  HPendingReport report;
  report.b_arp = b_arp;
  report.mapDesc = mapDesc;
  report.str_desc = str_desc;
  report.lan_id = lan_id;
  report.b_offline = HEventCenter::ins().b_online == 0;
  if (report_queue.push(std::move(report)) != 0) report_gate.count_lost(1);
  return 0;
}

void HPTWGlobal::deliver_report(const HPendingReport& report) {
  ARPSpoofingReport_Local record;
  const AntiARPSpoofing_Local& policy = vt_arp.at(0);
  HString text = HLanMgr::ins().get(report.lan_id, report.mapDesc);
  HString alarm_msg = HDataCenter::GetPolicy()->get_alarm_msg_by_pid(policy.strPolicyID);
  // The user is warned whatever becomes of the report.
  HDataCenter::pop_alarm_message(alarm_msg, text);

  record.strPolicyID = policy.strPolicyID;
  record.iAttackType = report.b_arp ? 1 : 2;
  record.iOffline = report.b_offline ? 1 : 0;
  record.iElapsed = 0;
  record.str_desc = report.str_desc;
  record.mapDesc = report.mapDesc;

  HString line = L"Report AntiARPSpoofing ID ";
  line << record.strPolicyID << L", b_arp " << HString(report.b_arp) << L", str_desc " << report.str_desc
       << L", mapDesc " << static_cast<unsigned long>(report.mapDesc.size());
  HFileLog::ins().log(2, L".\\HPTWGlobal", __LINE__, L"%s", line.wc_str());
  report_one(record);
}

bool HPTWGlobal::flush_reports(DWORD timeout_ms) {
  bool b_empty = report_queue.flush(timeout_ms);
  report_gate.check();
  return b_empty;
}

void HPTWGlobal::stop_reports() {
  if (!report_queue.flush(kStopFlushMs)) {
    HFileLog::ins().log(1, L".\\HPTWGlobal", __LINE__, L"stop: %d reports still queued after %u ms",
                        static_cast<int>(report_queue.waiting()), static_cast<unsigned>(kStopFlushMs));
  }
  report_gate.check(true);
  HDataCenter::note_suppressed_reports(report_gate.suppressed());
}

int HPTWGlobal::report_one(const ARPSpoofingReport_Local& record) {
  ReportVector records(1, record);
  return report_vector(records);
}

int HPTWGlobal::report_vector(ReportVector& records) {
  audit_report_mgr.report(&records);
  return 0;
}

int HPTWGlobal::report_empty() {
  ReportVector records;
  return report_vector(records);
}
