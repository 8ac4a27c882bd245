#include "host/HCustConfigMgr.h"

HCustConfigMgr& HCustConfigMgr::instance() {
  static HCustConfigMgr* mgr = new HCustConfigMgr;
  return *mgr;
}

int HCustConfigMgr::GetConfig(HCustConfigInfo& info) {
  info.b_auth_802 = b_auth_802.load();
  return 0;
}
