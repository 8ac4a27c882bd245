#include "tests/support/arpwatch_support.h"


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
  return tidewell_test::arp_request(old_mac, kHostMac, kHostIp, old_mac, ip);
}

PolicySetup::PolicySetup() {
  host_ip = kHostIp;
  host_mac = kHostMac;
  gateways = {kGatewayIp};
}

}  // namespace arpwatch_test
