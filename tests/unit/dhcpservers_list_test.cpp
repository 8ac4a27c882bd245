// The check of DHCP servers against the list of legitimate ones: which
// offers and acknowledgements are reported, with which server, and which
// frames are no server's answer at all. (A rogue's repeat held back is run
// by the dhcp-servers demo in agent_e2e_test and in the lab.)
#include <gtest/gtest.h>

#include <map>

#include "dhcpservers/HDhcpServerCallback.h"
#include "tests/support/dhcpguard_support.h"

using namespace dhcpguard_test;

namespace {

const char kListedMac[] = "02:77:00:00:00:54";  // listed by its MAC only
const char kRelayMac[] = "02:77:00:00:00:01";
const char kRogueMac[] = "02:77:00:00:00:66";
const char kRogueIp[] = "10.77.0.66";

// The server identifier stands behind the router option, where the DHCP
// guard's own walk has already stopped.
Bytes answer(uint8_t msg_type, const std::string& server_id) {
  tidewell_test::FrameBuilder out;
  out.add({53, 1, msg_type}).add(routers_option({kGatewayIp}));
  if (!server_id.empty()) out.add({54, 4}).add_ip(server_id);
  return out.add8(255).bytes();
}

DhcpFields from(const std::string& eth_src, const std::string& ip_src, uint8_t msg_type, const std::string& server_id,
                bool broadcast = false) {
  DhcpFields fields;
  fields.eth_src = eth_src;
  fields.ip_src = ip_src;
  fields.options = answer(msg_type, server_id);
  if (broadcast) fields.eth_dst = "ff:ff:ff:ff:ff:ff";
  return fields;
}

TEST(DhcpServerList, UnlistedServersAreReportedOncePerWindowWithTheirMacAndAddress) {
  platform::set_windows_headless(true);
  DhcpEnv env;
  CoreRecorder core;
  HDhcpServerCallback callback({HString(kServerIp), HString(kListedMac), HString("not a server")});
  DhcpFields discover = from(kHostMac, "0.0.0.0", 1, "");
  discover.op = 1;
  DhcpFields op1_offer = from(kRogueMac, kRogueIp, 2, kRogueIp);
  op1_offer.op = 1;
  DhcpFields to_the_server = from(kRogueMac, kRogueIp, 2, kRogueIp);
  std::swap(to_the_server.src_port, to_the_server.dst_port);
  DhcpFields from_port_53 = from(kRogueMac, kRogueIp, 2, kRogueIp);
  from_port_53.src_port = 53;
  const std::vector<DhcpFields> frames = {
      from(kRelayMac, "10.77.0.1", 2, kServerIp, true),      // relayed broadcast offer, listed by option 54
      from(kListedMac, "10.77.0.54", 2, "10.77.0.54"),       // unicast offer, listed by MAC
      from(kRelayMac, kServerIp, 5, ""),                     // ACK without option 54, listed by IPv4 source
      from(kRogueMac, kRogueIp, 2, kRogueIp, true),          // rogue broadcast offer
      from(kRogueMac, "10.77.0.99", 5, ""),                  // rogue ACK: its IPv4 source
      discover, op1_offer, to_the_server, from_port_53,
  };
  for (const DhcpFields& fields : frames) {
    Bytes frame = dhcp_frame(fields);
    callback.on_packet(frame.data(), static_cast<int>(frame.size()));
  }
  std::vector<ARPSpoofingReport_Local> reports = core.reports();
  ASSERT_EQ(2u, reports.size());
  const char* const server_ips[] = {kRogueIp, "10.77.0.99"};
  for (size_t i = 0; i < reports.size(); ++i) {
    EXPECT_EQ("AntiARP_RP_DHCP_SERVER", narrow(reports[i].str_desc));
    EXPECT_EQ(2, reports[i].iAttackType);
    EXPECT_EQ((std::map<HString, HString>{{L"mac", HString(kRogueMac)}, {L"ip", HString(server_ips[i])}}),
              reports[i].mapDesc);
  }
}

}  // namespace
