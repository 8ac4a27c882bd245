#include "tests/support/arpwatch_support.h"

#include "host/HEventCenter.h"
#include "host/HNetworkUtil.h"
#include "host/HSysInfoMgr.h"
#include "platform/IpHelper.h"
#include "tests/support/PluginPolicy.h"

namespace arpwatch_test {

const char kHostIp[] = "10.77.0.10";
const char kHostMac[] = "02:77:00:00:00:0a";
const char kGatewayIp[] = "10.77.0.1";
const char kGatewayMac[] = "02:77:00:00:00:01";
const char kSpooferMac[] = "02:77:00:00:00:66";

ArpFields::ArpFields() {
  eth_dst = kHostMac;
  target_mac = kHostMac;
  target_ip = kHostIp;
}

Bytes marked_frame(const ArpFields& fields) {
  static const char kMarker[] = "KivoHarborProbe";  // and three zero bytes
  Bytes frame = arp_frame(fields, 60);
  for (size_t i = 0; i < 18; ++i) frame[42 + i] = i < 15 ? static_cast<unsigned char>(kMarker[i]) : 0;
  return frame;
}

Bytes expected_request(const std::string& ip, const std::string& old_mac) {
  ArpFields f;
  f.op = 1;
  f.eth_dst = old_mac;
  f.sender_mac = kHostMac;
  f.sender_ip = kHostIp;
  f.target_mac = old_mac;
  f.target_ip = ip;
  return arp_frame(f, 60);
}

WatchEnv::WatchEnv(const PolicySetup& setup) {
  platform::set_arp_table_backend(p_arp_table);

  HSysInfoMgr::ins().set_virtual(HString(kHostIp), HString(kHostMac));
  HNetwrokAdapterNode adapter;
  adapter.str_name = L"veth0";
  adapter.vt_gateway.push_back(HString(kGatewayIp));
  HNetworkUtil::set_virtual_adapters({adapter});

  AntiARPSpoofing_Local policy;
  policy.strPolicyID = L"p1";
  policy.iStateMask = setup.state_mask;
  policy.iAntiARPSpoofing = setup.mode;
  policy.strBindList = HString(setup.bind_list);
  policy.iAntiDHCPSpoofing = 1;
  policy.iAutoBind = setup.auto_bind;
  HEventCenter::ins().i_state = setup.state_word;
  tidewell_test::install_policy(policy);
}

}  // namespace arpwatch_test
