// The DHCP callback's judgement of captured frames: which gateways go to
// the probe, and which frames are ignored without reading past their end.
// (An offer without address, reported at once and not probed, is run end to
// end by the lab's dhcpguard test and agent_e2e_test.)
#include <gtest/gtest.h>

#include "dhcpguard/HDhcpAttackCallback.h"
#include "host/HWinPCapHelper.h"
#include "tests/support/dhcpguard_support.h"

using namespace dhcpguard_test;

namespace {

class OfferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::set_windows_headless(true);
    // Frames are fed by hand; the probe's passes are driven by the test.
    callback.test_gateway.stop();
  }

  // In a buffer of exactly its length.
  void feed(const Bytes& frame) {
    std::vector<unsigned char> copy(frame);
    callback.on_packet(copy.data(), static_cast<int>(copy.size()));
  }
  // What the DHCP callback writes to the attack log for an offer: its DHCP
  // message.
  static std::string rendering(const Bytes& frame, size_t dhcp_at = 42) {
    HString text;
    text.make_by_bin_multi(frame.data() + dhcp_at, static_cast<int>(frame.size() - dhcp_at));
    return narrow(text);
  }
  // Frames left unjudged since the test began, as the agent's summary counts them.
  uint64_t bad_dhcp() const { return helper_stats().frames_bad_dhcp - base.frames_bad_dhcp; }
  uint64_t not_dhcp() const { return helper_stats().frames_not_dhcp - base.frames_not_dhcp; }
  static HCaptureStats helper_stats() { return HWinPCapHelper::instance().stats(); }

  DhcpEnv env;
  CoreRecorder core;
  SentFrames sent;
  FakeTicks ticks{5000};
  HDhcpAttackCallback callback;
  HCaptureStats base = helper_stats();
};

// An offer with an address is logged and its gateways go to the probe in
// order; of a router option of length 6 only the whole address counts, and
// the walk stops after the first router option.
TEST_F(OfferTest, OfferWithAddressQueuesTheWholeAddressesOfItsFirstRouterOption) {
  DhcpFields fields;
  fields.options = options(2, {kGatewayIp, kGateway2Ip});
  Bytes frame = dhcp_frame(fields);
  feed(frame);
  EXPECT_EQ(1u, count_of(env.attack_log(), rendering(frame)));
  EXPECT_TRUE(core.reports().empty());
  DhcpFields six;
  six.options = {53, 1, 2, 3, 6, 10, 77, 1, 3, 10, 77, 255};
  feed(dhcp_frame(six));
  DhcpFields repeated;
  tidewell_test::FrameBuilder area;
  area.add({53, 1, 2}).add(routers_option({"10.77.1.4"})).add(routers_option({"10.77.1.5"}));
  repeated.options = area.add8(255).bytes();
  feed(dhcp_frame(repeated));

  // The probe's first pass sends one request per queued gateway, in order.
  callback.test_gateway.run_pass();
  const std::vector<std::string> gateways = {kGatewayIp, kGateway2Ip, "10.77.1.3", "10.77.1.4"};
  std::vector<Bytes> requests = sent.frames();
  ASSERT_EQ(gateways.size(), requests.size());
  const std::string broadcast = "ff:ff:ff:ff:ff:ff", no_mac = "00:00:00:00:00:00";
  for (size_t i = 0; i < gateways.size(); ++i) {
    Bytes request = tidewell_test::arp_request(broadcast, kHostMac, kOfferedIp, no_mac, gateways[i]);
    EXPECT_EQ(hex(request), hex(requests[i])) << i;
  }
}

// The option walk takes 255 steps at most: behind 254 pads the message
// type (step 255) is read and the router option (step 256) no longer,
// behind 255 pads neither.
TEST_F(OfferTest, OptionWalkIsBoundedTo255Steps) {
  for (size_t pads : {254, 255}) {
    Bytes area(pads, 0);
    Bytes offer = options(2, {kGatewayIp});
    area.insert(area.end(), offer.begin(), offer.end());
    std::vector<uint32_t> routers;
    unsigned char msg_type = 0;
    callback.parse_options(area.data(), static_cast<int>(area.size()), routers, msg_type);
    EXPECT_EQ(pads == 254 ? 2 : 0, msg_type) << pads;
    EXPECT_TRUE(routers.empty()) << pads;
  }
}

// Frames that are no offer: routed traffic whose bytes 42 and 282 on happen
// to read as one (counted as not DHCP), and offers whose headers or options
// do not fit (counted as bad). Each is counted as what it is, and leaves no
// trace of a judgement: no log entry, no probe, no report.
struct Unjudged {
  const char* what;
  Bytes frame;
  bool bad;  // else not DHCP
};

TEST_F(OfferTest, ForeignOrMalformedFramesAreCountedNeverJudged) {
  const DhcpFields fields;
  const Bytes offer = dhcp_frame(fields);
  const size_t udp_len = offer.size() - dhcp_at(fields) + 8;
  auto set16 = [&offer](size_t at, uint16_t value) {
    tidewell_test::FrameBuilder frame;
    return frame.add(offer).set16(at, value).bytes();
  };
  auto cut = [](Bytes frame, size_t length) {
    frame.resize(length);
    return frame;
  };
  DhcpFields tcp, to_port_80, from_port_53, client_to_server, no_address, empty_type;
  tcp.protocol = 6;
  to_port_80.dst_port = 80;
  from_port_53.src_port = 53;
  client_to_server.src_port = 68;
  client_to_server.dst_port = 67;
  no_address.yiaddr = "0.0.0.0";
  empty_type.options = {53, 0};
  const size_t options_at = 282;
  const std::vector<Unjudged> frames = {
      {"TCP", dhcp_frame(tcp), false},
      {"to port 80", dhcp_frame(to_port_80), false},
      {"from port 53", dhcp_frame(from_port_53), false},
      {"client to server", dhcp_frame(client_to_server), false},
      {"IPv4 header length 16", set16(14, 0x4400), true},
      {"not version 4", set16(14, 0x6500), true},
      {"header length 60: the ports are elsewhere", set16(14, 0x4f00), false},
      {"total length past the frame", set16(kIpTotalLenAt, static_cast<uint16_t>(offer.size() - 14 + 1)), true},
      {"total length shorter than UDP", set16(kIpTotalLenAt, static_cast<uint16_t>(20 + udp_len - 1)), true},
      {"UDP length under its header", set16(udp_len_at(fields), 7), true},
      {"no room for options",
       set16(udp_len_at(fields), static_cast<uint16_t>(8 + HDhcpAttackCallback::kOptionsOffset)), true},
      {"first fragment", set16(20, 0x2000), true},
      {"a later fragment", set16(20, 0x0020), true},
      {"no room for the UDP header", cut(offer, 14 + 20 + 7), true},
      {"cut inside the router option's value", cut(offer, options_at + 3 + 2 + 2), true},
      {"cut after the router option's length", cut(offer, options_at + 3 + 2), true},
      {"cut between code and length", cut(offer, options_at + 3 + 1), true},
      // The message type cannot be trusted: not reported either.
      {"address-less offer cut in its router option", cut(dhcp_frame(no_address), options_at + 3 + 2 + 1), true},
      {"message type without a value", dhcp_frame(empty_type), true},
  };
  for (const Unjudged& u : frames) {
    const uint64_t bad_before = bad_dhcp(), not_before = not_dhcp();
    feed(u.frame);
    EXPECT_EQ(u.bad ? 1u : 0u, bad_dhcp() - bad_before) << u.what;
    EXPECT_EQ(u.bad ? 0u : 1u, not_dhcp() - not_before) << u.what;
    EXPECT_EQ(0u, count_of(env.attack_log(), rendering(u.frame, dhcp_at(fields)))) << u.what;
  }
  EXPECT_EQ(0u, callback.test_gateway.pending());
  EXPECT_TRUE(core.reports().empty());
}

// The router option lies in the Ethernet padding behind the datagram.
TEST_F(OfferTest, OptionsEndWithTheDatagramNotWithTheFramesPadding) {
  DhcpFields fields;
  fields.options = {53, 1, 2, 3, 4, 10, 77, 0, 1, 255};
  Bytes frame = dhcp_frame(fields);
  tidewell_test::FrameBuilder shorter;
  shorter.add(frame).set16(kIpTotalLenAt, static_cast<uint16_t>(frame.size() - 14 - 7));
  shorter.set16(udp_len_at(fields), static_cast<uint16_t>(frame.size() - dhcp_at(fields) + 8 - 7));
  feed(shorter.bytes());
  Bytes message(shorter.bytes().begin(), shorter.bytes().end() - 7);
  EXPECT_EQ(1u, count_of(env.attack_log(), rendering(message, dhcp_at(fields)))) << "the offer is logged";
  EXPECT_EQ(0u, callback.test_gateway.pending());
}

}  // namespace
