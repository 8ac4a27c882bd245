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
      p_dhcp_arp_callback(nullptr) {
  str_name = L"Tidewell";
}

int HPTWGlobal::report_attack(bool b_arp, const std::map<HString, HString>& mapDesc, const HString& str_desc,
                              int lan_id) {
  ARPSpoofingReport_Local record;
  if (vt_arp.empty()) return -1;
  const AntiARPSpoofing_Local& policy = vt_arp.at(0);
  HString text = HLanMgr::ins().get(lan_id, mapDesc);
  HString alarm_msg = HDataCenter::GetPolicy()->get_alarm_msg_by_pid(policy.strPolicyID);
  // The user is warned whatever becomes of the report.
  HDataCenter::pop_alarm_message(alarm_msg, text);

  record.strPolicyID = policy.strPolicyID;
  record.iAttackType = b_arp ? 1 : 2;
  record.iOffline = HEventCenter::ins().b_online ? 0 : 1;
  record.iElapsed = 0;
  record.str_desc = str_desc;
  record.mapDesc = mapDesc;

  HString line = L"Report AntiARPSpoofing ID ";
  line << record.strPolicyID << L", b_arp " << HString(b_arp) << L", str_desc " << str_desc << L", mapDesc "
       << static_cast<unsigned long>(mapDesc.size());
  HFileLog::ins().log(2, L".\\HPTWGlobal", __LINE__, L"%s", line.wc_str());
  return report_one(record);
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
