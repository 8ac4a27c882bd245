// The DHCP callback's judgement of captured frames: which offers are
// reported at once, which gateways go to the probe, and which frames are
// ignored without reading past their end.
#include <gtest/gtest.h>

#include "dhcpguard/HDhcpAttackCallback.h"
#include "frame/HPTWGlobal.h"
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
  // Feeds each frame (in a buffer of exactly its length) and expects no
  // trace of a judgement: no log entry, no probe, no report.
  void expect_none_judged(const std::vector<Bytes>& frames) {
    for (const Bytes& frame : frames) {
      feed(frame);
      EXPECT_EQ(0u, count_of(env.attack_log(), rendering(frame, dhcp_at(DhcpFields())))) << hex(frame);
    }
    EXPECT_EQ(0u, callback.test_gateway.pending());
    EXPECT_TRUE(core.reports().empty());
  }
  // The probe's first pass sends one request per queued gateway, in order.
  void expect_first_requests_to(const std::vector<std::string>& gateways) {
    callback.test_gateway.run_pass();
    std::vector<Bytes> requests = sent.frames();
    ASSERT_EQ(gateways.size(), requests.size());
    for (size_t i = 0; i < gateways.size(); ++i)
      EXPECT_EQ(hex(probe_request(kHostMac, kOfferedIp, gateways[i], false)), hex(requests[i])) << i;
  }

  DhcpEnv env;
  CoreRecorder core;
  SentFrames sent;
  FakeTicks ticks{5000};
  HDhcpAttackCallback callback;
  HCaptureStats base = helper_stats();
};

Bytes pads_then_offer(size_t pads) {
  Bytes area(pads, 0);
  Bytes rest = options(2, {kGatewayIp});
  area.insert(area.end(), rest.begin(), rest.end());
  return area;
}

TEST_F(OfferTest, OfferWithoutAddressIsReportedAtOnceAndNotProbed) {
  for (bool with_router : {true, false}) {
    DhcpFields fields;
    fields.yiaddr = "0.0.0.0";
    fields.ciaddr = "0.0.0.0";
    fields.options = options(2, with_router ? std::vector<std::string>{kGatewayIp} : std::vector<std::string>{});
    Bytes frame = dhcp_frame(fields);
    feed(frame);
    EXPECT_EQ(1u, count_of(env.attack_log(), rendering(frame))) << "router option " << with_router;
  }
  // The second is the same report again: counted, not sent.
  std::vector<ARPSpoofingReport_Local> reports = core.reports();
  ASSERT_EQ(1u, reports.size());
  EXPECT_EQ(1u, HPTWGlobal::ins().report_gate.suppressed());
  for (const ARPSpoofingReport_Local& report : reports) {
    EXPECT_EQ("AntiARP_RP_DHCP", narrow(report.str_desc));
    EXPECT_EQ(2, report.iAttackType);
    ASSERT_EQ(1u, report.mapDesc.size());
    EXPECT_EQ(kServerMac, narrow(report.mapDesc.at(L"mac")));
  }
  EXPECT_EQ(0u, callback.test_gateway.pending());
}

TEST_F(OfferTest, OfferWithAddressQueuesItsGatewaysInOrder) {
  DhcpFields fields;
  fields.options = options(2, {kGatewayIp, kGateway2Ip});
  Bytes frame = dhcp_frame(fields);
  feed(frame);
  EXPECT_EQ(1u, count_of(env.attack_log(), rendering(frame)));
  EXPECT_TRUE(core.reports().empty());
  expect_first_requests_to({kGatewayIp, kGateway2Ip});
}

TEST_F(OfferTest, RouterOptionLengthsAndRepeats) {
  // Length 6: one address, the two trailing bytes are not one.
  DhcpFields six;
  six.options = {53, 1, 2, 3, 6, 10, 77, 1, 1, 10, 77, 255};
  feed(dhcp_frame(six));
  EXPECT_EQ(1u, callback.test_gateway.pending());

  // 53, 3, 3: the walk stops after the first router option.
  DhcpFields repeated;
  repeated.options = {53, 1, 2};
  Bytes first = routers_option({kGateway2Ip});
  Bytes second = routers_option({"10.77.0.3"});
  repeated.options.insert(repeated.options.end(), first.begin(), first.end());
  repeated.options.insert(repeated.options.end(), second.begin(), second.end());
  repeated.options.push_back(255);
  feed(dhcp_frame(repeated));
  expect_first_requests_to({kGatewayIp, kGateway2Ip});
}

TEST_F(OfferTest, OptionWalkIsBoundedTo255Steps) {
  DhcpFields too_far;
  too_far.options = pads_then_offer(255);  // option 53 would be step 256
  feed(dhcp_frame(too_far));
  EXPECT_EQ(0u, callback.test_gateway.pending());

  DhcpFields last_step;
  last_step.options = pads_then_offer(254);  // option 53 is step 255
  feed(dhcp_frame(last_step));
  EXPECT_EQ(0u, callback.test_gateway.pending()) << "option 3 would be step 256";

  std::vector<uint32_t> routers;
  unsigned char msg_type = 0;
  Bytes area = pads_then_offer(254);
  callback.parse_options(area.data(), static_cast<int>(area.size()), routers, msg_type);
  EXPECT_EQ(2, msg_type);
  EXPECT_TRUE(routers.empty());
}

TEST_F(OfferTest, OptionRunningPastTheEndMakesTheFrameNoOffer) {
  Bytes full = dhcp_frame(DhcpFields());
  // Cut inside the router option's value, then just after its length byte,
  // then between code and length byte.
  size_t options_at = 282;
  for (size_t cut : {options_at + 3 + 2 + 2, options_at + 3 + 2, options_at + 3 + 1}) {
    Bytes frame(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
    feed(frame);
  }
  // An address-less offer whose router option runs past the end is not
  // reported either: the message type cannot be trusted.
  DhcpFields no_address;
  no_address.yiaddr = "0.0.0.0";
  Bytes cut_offer = dhcp_frame(no_address);
  cut_offer.resize(options_at + 3 + 2 + 1);
  feed(cut_offer);
  // Message type option without a value byte.
  DhcpFields empty_type;
  empty_type.options = {53, 0};
  feed(dhcp_frame(empty_type));

  EXPECT_EQ(5u, bad_dhcp());
  EXPECT_EQ(0u, callback.test_gateway.pending());
  EXPECT_TRUE(core.reports().empty());
}

// Routed traffic whose bytes 42 and 282 on happen to read as an offer.
TEST_F(OfferTest, FakeOffersOverTcpOrOtherUdpPortsAreNotJudged) {
  DhcpFields tcp;
  tcp.protocol = 6;
  DhcpFields to_port_80;
  to_port_80.dst_port = 80;
  DhcpFields from_port_53;
  from_port_53.src_port = 53;
  DhcpFields client_to_server;
  client_to_server.src_port = 68;
  client_to_server.dst_port = 67;
  expect_none_judged(
      {dhcp_frame(tcp), dhcp_frame(to_port_80), dhcp_frame(from_port_53), dhcp_frame(client_to_server)});
  EXPECT_EQ(4u, not_dhcp());
  EXPECT_EQ(0u, bad_dhcp());
}

TEST_F(OfferTest, IpOrUdpHeadersThatDoNotFitAreDroppedAndCounted) {
  const DhcpFields fields;
  const Bytes offer = dhcp_frame(fields);
  const size_t udp_len = offer.size() - dhcp_at(fields) + 8;
  auto changed = [&offer](size_t at, uint16_t value) {
    tidewell_test::FrameBuilder frame;
    frame.add(offer).set16(at, value);
    return frame.bytes();
  };
  const uint16_t past_the_frame = static_cast<uint16_t>(offer.size() - 14 + 1);
  const uint16_t shorter_than_udp = static_cast<uint16_t>(20 + udp_len - 1);
  const uint16_t no_options = static_cast<uint16_t>(8 + HDhcpAttackCallback::kOptionsOffset);
  std::vector<Bytes> frames = {
      changed(14, 0x4400),                              // header length 16
      changed(14, 0x6500),                              // not version 4
      changed(14, 0x4f00),                              // header length 60: the ports are elsewhere
      changed(kIpTotalLenAt, past_the_frame),           // total length
      changed(kIpTotalLenAt, shorter_than_udp),         // total length
      changed(udp_len_at(fields), 7),                   // shorter than the UDP header
      changed(udp_len_at(fields), no_options),          // no room for options
      changed(20, 0x2000),                              // first fragment
      changed(20, 0x0020),                              // a later fragment
      Bytes(offer.begin(), offer.begin() + 14 + 20 + 7) // no room for the UDP header
  };
  expect_none_judged(frames);
  EXPECT_EQ(frames.size() - 1, bad_dhcp());
  EXPECT_EQ(1u, not_dhcp()) << "the 60-byte header puts other bytes where the ports were";
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
