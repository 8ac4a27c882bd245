// How the ARP capture callback sorts frames: probe frames dropped, senders
// offered to the DHCP gateway probe, frames to this host queued for the
// guard, frames too short for an ARP body never read.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>
#include <memory>
#include <string>

#include "arpguard/HThreadTidewell.h"
#include "arpwatch/HTWPkgCallback.h"
#include "dhcpguard/HDhcpAttackCallback.h"
#include "frame/HPTWGlobal.h"
#include "host/HWinPCapHelper.h"
#include "tests/support/arpguard_support.h"
#include "tests/support/dhcpguard_support.h"

using namespace arpguard_test;

namespace {

// A reply to `target_ip` (by default the host) at the host's MAC.
ArpFields reply(const std::string& sender_ip, const std::string& sender_mac, const std::string& target_ip = kHostIp) {
  ArpFields f;
  f.eth_dst = kHostMac;
  f.target_mac = kHostMac;
  f.sender_ip = sender_ip;
  f.sender_mac = sender_mac;
  f.target_ip = target_ip;
  return f;
}
ArpFields reply_from_gateway() { return reply(kGatewayIp, kSpooferMac); }

class CallbackTest : public ::testing::Test {
 protected:
  CallbackTest() : ticks(1000) {
    HPTWGlobal& global = HPTWGlobal::ins();
    guard = &env.make_guard();  // its thread is not started: the queue only fills
    dhcp = new HDhcpAttackCallback();
    global.p_dhcp_callback = dhcp;
    callback = new HTWPkgCallback();
    global.p_arp_callback = callback;
  }

  // Hands the frame over in a buffer of exactly its length, so that any read
  // past it is caught by the address sanitizer.
  void deliver(const Bytes& frame) {
    std::unique_ptr<unsigned char[]> copy(new unsigned char[frame.size() ? frame.size() : 1]);
    if (!frame.empty()) std::memcpy(copy.get(), frame.data(), frame.size());
    EXPECT_EQ(0, callback->on_packet(copy.get(), static_cast<int>(frame.size())));
  }

  GuardEnv env;
  FakeTicks ticks;  // the DHCP probe's passes never time out during a test
  SentFrames wire;
  HThreadTidewell* guard = nullptr;
  HDhcpAttackCallback* dhcp = nullptr;
  HTWPkgCallback* callback = nullptr;
};

// A probe frame reaches neither the guard nor the DHCP probe; an ordinary
// frame that answers the DHCP probe is the probe's alone, and the next one
// from the same sender is the guard's again.
TEST_F(CallbackTest, ProbeFrameIsDroppedAndAnAnswerToTheDhcpProbeIsItsAlone) {
  HDhcpGatewayItem waiting = dhcpguard_test::gateway_item(kGatewayIp);
  dhcp->test_gateway.add_gateway(waiting);  // the DHCP probe waits for the gateway's answer
  const Bytes marked = marked_frame(reply_from_gateway());
  deliver(marked);
  EXPECT_EQ(0u, guard->queued());
  EXPECT_EQ(1u, dhcp->test_gateway.pending()) << "a probe frame must not answer the DHCP probe";
  Bytes unmarked = marked;
  unmarked[59] ^= 0x01;
  deliver(unmarked);
  EXPECT_EQ(0u, dhcp->test_gateway.pending()) << "an ordinary frame answers it";
  EXPECT_EQ(0u, guard->queued());
  deliver(unmarked);
  EXPECT_EQ(1u, guard->queued());
}

// --- frames the kernel ignores ---------------------------------------------------

TEST_F(CallbackTest, ArpFramesTheKernelIgnoresNeverReachTheGuard) {
  const uint64_t before = HWinPCapHelper::instance().stats().frames_bad_arp;
  const Bytes claim = arp_frame(reply_from_gateway());
  // Hardware type, protocol type, the two address lengths, the operation.
  const std::vector<std::pair<size_t, unsigned char>> changes = {
      {15, 6}, {16, 0x86}, {18, 8}, {19, 16}, {20, 1}, {21, 0}, {21, 3}};
  for (const auto& change : changes) {
    Bytes frame = claim;
    frame[change.first] = change.second;
    deliver(frame);
  }
  EXPECT_EQ(0u, guard->queued());
  EXPECT_EQ(changes.size(), HWinPCapHelper::instance().stats().frames_bad_arp - before);
  deliver(claim);
  EXPECT_EQ(1u, guard->queued()) << "the unchanged claim";
}

// The kernel takes a frame tagged with VLAN 0 as untagged and leaves other
// VLANs to their own interfaces; the capture helper hands the callbacks
// what this interface takes.
TEST_F(CallbackTest, PriorityTaggedFramesAreJudgedOtherVlansOnlyCounted) {
  HWinPCapHelper& helper = HWinPCapHelper::instance();
  helper.reset_for_test();
  callback->us_filter = htons(0x0806);
  dhcp->us_filter = htons(0x0800);
  helper.add_callback(callback);
  helper.add_callback(dhcp);
  const Bytes spoof = arp_frame(reply_from_gateway());
  const Bytes offer = dhcpguard_test::dhcp_frame(dhcpguard_test::DhcpFields());  // names kGatewayIp
  for (uint16_t vlan : {5, 0}) {
    for (const Bytes& frame : {tidewell_test::vlan_tagged(spoof, vlan), tidewell_test::vlan_tagged(offer, vlan)}) {
      helper.deliver(frame.data(), static_cast<int>(frame.size()));
    }
    EXPECT_EQ(vlan == 0 ? 1u : 0u, guard->queued()) << "VLAN " << vlan;
    EXPECT_EQ(vlan == 0 ? 1u : 0u, dhcp->test_gateway.pending()) << "VLAN " << vlan;
  }
  EXPECT_EQ(2u, helper.stats().frames_other_vlan);
  EXPECT_EQ(kSpooferMac, guard->pop_arp_node().sender_mac);
  helper.reset_for_test();
}

// The ARP callback compares a frame's target with the host's main address by
// its four bytes, and leaves the text to the guard's thread: the frames it
// forwards (unpadded ones too), and the texts the guard gets, must be exactly
// those of a text comparison.
TEST_F(CallbackTest, OnlyFramesToTheMainAddressReachTheGuardWithTheirTexts) {
  for (const char* other : {"10.77.1.100", "10.77.1.1", "110.77.1.10", "10.77.1.11", "0.0.0.0"}) {
    deliver(arp_frame(reply("10.77.1.23", "02:77:01:00:00:17", other)));
  }
  EXPECT_EQ(0u, guard->queued());
  ArpFields mine = reply("10.77.1.23", "02:77:01:00:00:17");
  mine.op = 1;
  mine.target_mac = "00:00:00:00:00:00";
  deliver(arp_frame(mine, 42));
  ASSERT_EQ(1u, guard->queued());
  EXPECT_EQ((HArpNode{1, "10.77.1.23", "02:77:01:00:00:17", kHostIp, "00:00:00:00:00:00"}), guard->pop_arp_node());
}

}  // namespace
