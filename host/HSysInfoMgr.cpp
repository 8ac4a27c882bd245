// The host's main IPv4 address and MAC: the system's (HMainAddress.cpp), or
// in replay those of the virtual host.
#include "host/HSysInfoMgr.h"

#include <string>

#include "host/HFileUtil.h"
#include "host/HMainAddress.h"

HSysInfoMgr& HSysInfoMgr::ins() {
  static HSysInfoMgr* mgr = new HSysInfoMgr;
  return *mgr;
}

int HSysInfoMgr::get_main_ip_mac(HString& ip, HString& mac) {
  std::string iface;
  {
    std::lock_guard<std::mutex> lock(mtx_info);
    if (b_virtual) {
      ip = str_ip;
      mac = str_mac;
      return (ip.empty() || mac.empty()) ? -1 : 0;
    }
    iface = HFileUtil::utf8(str_iface);
  }
  std::string ip_text;
  std::string mac_text;
  read_main_ip_mac(iface, ip_text, mac_text);
  if (ip_text.empty() || mac_text.empty()) {
    ip = HString();
    mac = HString();
    return -1;
  }
  ip = HString(ip_text);
  mac = HString(mac_text);
  return 0;
}

void HSysInfoMgr::set_interface(const HString& name) {
  std::lock_guard<std::mutex> lock(mtx_info);
  str_iface = name;
}

HString HSysInfoMgr::interface_name() {
  std::lock_guard<std::mutex> lock(mtx_info);
  return str_iface;
}

void HSysInfoMgr::set_virtual(const HString& ip, const HString& mac) {
  std::lock_guard<std::mutex> lock(mtx_info);
  b_virtual = true;
  str_ip = ip;
  str_mac = mac;
}
