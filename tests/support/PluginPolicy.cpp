#include "tests/support/PluginPolicy.h"

#include "frame/HPTWGlobal.h"
#include "host/HDataCenter.h"
#include "host/HEventCenter.h"

namespace tidewell_test {

void install_policy(const AntiARPSpoofing_Local& policy) {
  HDataCenter::GetPolicy()->set_policies({policy}, {});
  HEventCenter::ins().b_online = 1;
  HPTWGlobal& global = HPTWGlobal::ins();
  global.vt_arp.assign(1, policy);
  global.audit_report_mgr.init(L"NetSecurity", L"AntiARPSpoofing", L"arc_file\\his_arp_attack", 173, 300);
}

}  // namespace tidewell_test
