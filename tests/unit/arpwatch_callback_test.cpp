// How the ARP capture callback sorts frames: probe frames dropped, senders
// offered to the DHCP gateway probe, frames to this host queued for the
// guard, frames too short for an ARP body never read.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "arpguard/HThreadTidewell.h"
#include "arpwatch/HTWPkgCallback.h"
#include "arpwatch/HTestThread.h"
#include "dhcpguard/HDhcpAttackCallback.h"
#include "frame/HPTWGlobal.h"
#include "host/HSysInfoMgr.h"
#include "host/HWinPCapHelper.h"
#include "tests/support/arpwatch_support.h"
#include "tests/support/dhcpguard_support.h"

using namespace arpwatch_test;

namespace {

const char kOtherIp[] = "10.77.0.20";
const char kOtherMac[] = "02:77:00:00:00:14";

ArpFields reply_from_gateway() {
  ArpFields f;
  f.op = 2;
  f.sender_mac = kSpooferMac;
  f.sender_ip = kGatewayIp;
  return f;
}

// A broadcast "who has target_ip" from the sender.
ArpFields who_has(const std::string& target_ip, const std::string& sender_ip, const std::string& sender_mac) {
  ArpFields f;
  f.op = 1;
  f.eth_dst = "ff:ff:ff:ff:ff:ff";
  f.sender_mac = sender_mac;
  f.sender_ip = sender_ip;
  f.target_mac = "00:00:00:00:00:00";
  f.target_ip = target_ip;
  return f;
}

class CallbackTest : public ::testing::Test {
 protected:
  CallbackTest() : ticks(1000) {
    HPTWGlobal& global = HPTWGlobal::ins();
    guard = new HThreadTidewell();  // its thread is not started: the queue only fills
    global.p_thread_tidewell = guard;
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

  // Makes the DHCP gateway probe wait for an answer from `ip`.
  void dhcp_waits_for(const std::string& ip) {
    HDhcpGatewayItem item;
    Bytes gw = ip_bytes(ip);
    std::memcpy(&item.gateway_ip, gw.data(), 4);
    Bytes host = ip_bytes(kHostIp);
    std::memcpy(&item.client_ip, host.data(), 4);
    Bytes mac = mac_bytes(kHostMac);
    std::memcpy(item.client_mac, mac.data(), 6);
    dhcp->test_gateway.add_gateway(item);
  }

  WatchEnv env;
  FakeTicks ticks;  // the DHCP probe's passes never time out during a test
  SentFrames wire;
  HThreadTidewell* guard = nullptr;
  HDhcpAttackCallback* dhcp = nullptr;
  HTWPkgCallback* callback = nullptr;
};

// --- probe marker ------------------------------------------------------------

TEST_F(CallbackTest, ProbeFrameReachesNeitherGuardNorDhcpProbe) {
  dhcp_waits_for(kGatewayIp);
  const Bytes marked = marked_frame(reply_from_gateway());
  deliver(marked);
  EXPECT_EQ(0u, guard->queued());
  EXPECT_EQ(1u, dhcp->test_gateway.pending()) << "a probe frame must not answer the DHCP probe";
  Bytes unmarked = marked;
  unmarked[59] ^= 0x01;
  deliver(unmarked);
  EXPECT_EQ(0u, dhcp->test_gateway.pending()) << "an ordinary frame answers it";
}

// --- what reaches the guard ----------------------------------------------------

TEST_F(CallbackTest, UnpaddedReplyToThisHostReachesGuardWithItsAddresses) {
  deliver(arp_frame(reply_from_gateway(), 42));
  ASSERT_EQ(1u, guard->queued());
  HArpNode node = guard->pop_arp_node();
  EXPECT_EQ(2, node.op);
  EXPECT_EQ(kGatewayIp, node.sender_ip);
  EXPECT_EQ(kSpooferMac, node.sender_mac);
  EXPECT_EQ(kHostIp, node.target_ip);
  EXPECT_EQ(kHostMac, node.target_mac);
}

TEST_F(CallbackTest, RequestForThisHostIsForwardedLikeAReply) {
  deliver(arp_frame(who_has(kHostIp, kOtherIp, kOtherMac)));
  deliver(arp_frame(reply_from_gateway()));
  ASSERT_EQ(2u, guard->queued());
  HArpNode first = guard->pop_arp_node();
  HArpNode second = guard->pop_arp_node();
  EXPECT_EQ(1, first.op);
  EXPECT_EQ(kOtherIp, first.sender_ip);
  EXPECT_EQ(2, second.op);
  EXPECT_EQ(kGatewayIp, second.sender_ip);
}

TEST_F(CallbackTest, GratuitousArpIsOfferedToDhcpProbeButNotQueued) {
  dhcp_waits_for(kGatewayIp);
  deliver(arp_frame(who_has(kGatewayIp, kGatewayIp, kSpooferMac)));  // gratuitous
  EXPECT_EQ(0u, guard->queued());
  EXPECT_EQ(0u, dhcp->test_gateway.pending()) << "the gateway was heard from";
}

TEST_F(CallbackTest, FrameToAnotherHostIsNotQueued) {
  ArpFields f = reply_from_gateway();
  f.target_ip = kOtherIp;
  f.target_mac = kOtherMac;
  deliver(arp_frame(f));
  EXPECT_EQ(0u, guard->queued());
}

TEST_F(CallbackTest, FrameClaimedByDhcpProbeNeverReachesGuard) {
  dhcp_waits_for(kGatewayIp);
  deliver(arp_frame(reply_from_gateway()));
  EXPECT_EQ(0u, guard->queued());
  EXPECT_EQ(0u, dhcp->test_gateway.pending());
  // The next frame from the same sender is the guard's again.
  deliver(arp_frame(reply_from_gateway()));
  EXPECT_EQ(1u, guard->queued());
}

// --- frames too short to read ----------------------------------------------------

TEST_F(CallbackTest, FramesShorterThanAnArpBodyAreDroppedUnread) {
  dhcp_waits_for(kGatewayIp);
  const Bytes full = arp_frame(reply_from_gateway(), 42);
  const size_t lengths[] = {0, 1, 14, 28, 31, 32, 41};
  for (size_t len : lengths) deliver(Bytes(full.begin(), full.begin() + static_cast<long>(len)));
  EXPECT_EQ(0, callback->on_packet(nullptr, 60));
  EXPECT_EQ(0, callback->on_packet(full.data(), -1));
  EXPECT_EQ(0u, guard->queued());
  EXPECT_EQ(1u, dhcp->test_gateway.pending()) << "the sender of a short frame was read";
  EXPECT_EQ(sizeof(lengths) / sizeof(lengths[0]) + 2, callback->dropped_short());
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

// --- the probe thread ------------------------------------------------------------

TEST_F(CallbackTest, SecondCallbackStartsNoSecondProbeThread) {
  HTestThread* first = HPTWGlobal::ins().p_test_thread;
  ASSERT_NE(nullptr, first);
  for (int i = 0; i < 200 && count_of(env.general_log(), "HTestThread::run start") == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  HTWPkgCallback second;
  EXPECT_EQ(first, HPTWGlobal::ins().p_test_thread);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(1u, count_of(env.general_log(), "HTestThread::run start"));
}

TEST_F(CallbackTest, ProbeThreadAsksFromThisHostsAddresses) {
  HTestThread* probe = HPTWGlobal::ins().p_test_thread;
  ASSERT_NE(nullptr, probe);
  HMacChangeItem item;
  item.ip = HString(kGatewayIp);
  item.old_mac = HString(kGatewayMac);
  item.new_mac = HString(kSpooferMac);
  probe->add_probe(item);
  probe->run_pass();  // the thread's own pass may come first: either sends the one request
  std::vector<Bytes> sent;
  for (const Bytes& f : wire.frames())
    if (f.size() >= 22 && f[12] == 0x08 && f[13] == 0x06 && f[0] != 0xff) sent.push_back(f);
  ASSERT_EQ(1u, sent.size());
  EXPECT_EQ(hex(expected_request(kGatewayIp, kGatewayMac)), hex(sent[0]));
}

// Start-up creates the guard first; a callback made without one neither
// starts a probe thread nor touches a missing guard or DHCP callback.
TEST(CallbackWithoutGuard, TakesFramesWithoutAnyoneToHandThemTo) {
  WatchEnv env;
  HPTWGlobal::ins().p_thread_tidewell = nullptr;
  HPTWGlobal::ins().p_dhcp_callback = nullptr;
  HTWPkgCallback callback;
  EXPECT_EQ(nullptr, HPTWGlobal::ins().p_test_thread);
  EXPECT_EQ(kHostIp, narrow(callback.str_main_ip));
  EXPECT_EQ(kHostMac, narrow(callback.str_main_mac));
  Bytes frame = arp_frame(reply_from_gateway());
  EXPECT_EQ(0, callback.on_packet(frame.data(), static_cast<int>(frame.size())));
}

// The ARP callback compares a frame's target with the host's main address by
// its four bytes, and leaves the text to the guard's thread: the frames it
// forwards, and the texts the guard gets, must be exactly those of a text
// comparison.
ArpFields to(const std::string& target_ip) {
  ArpFields f;
  f.op = 2;
  f.sender_ip = "10.77.1.23";
  f.sender_mac = "02:77:01:00:00:17";
  f.target_ip = target_ip;
  return f;
}

class TargetMatch : public ::testing::Test {
 protected:
  TargetMatch() {
    guard = new HThreadTidewell();  // not started: claims stay queued
    HPTWGlobal::ins().p_thread_tidewell = guard;
  }
  void deliver(HTWPkgCallback& callback, const ArpFields& fields) {
    Bytes frame = arp_frame(fields, 60);
    callback.on_packet(frame.data(), static_cast<int>(frame.size()));
  }

  WatchEnv env;  // main address kHostIp
  HThreadTidewell* guard = nullptr;
};

TEST_F(TargetMatch, OnlyFramesToTheMainAddressReachTheGuardWithTheirTexts) {
  HTWPkgCallback callback;
  for (const char* other : {"10.77.0.100", "10.77.0.1", "110.77.0.10", "10.77.0.11", "0.0.0.0"}) {
    deliver(callback, to(other));
  }
  EXPECT_EQ(0u, guard->queued());
  ArpFields mine = to(kHostIp);
  mine.op = 1;
  mine.target_mac = "00:00:00:00:00:00";
  deliver(callback, mine);
  ASSERT_EQ(1u, guard->queued());
  HArpNode node = guard->pop_arp_node();
  EXPECT_EQ(1, node.op);
  EXPECT_EQ("10.77.1.23", node.sender_ip);
  EXPECT_EQ("02:77:01:00:00:17", node.sender_mac);
  EXPECT_EQ(kHostIp, node.target_ip);
  EXPECT_EQ("00:00:00:00:00:00", node.target_mac);
}

// Text that MakeArpNode never writes cannot equal a frame's target text.
TEST_F(TargetMatch, AMainAddressNoFrameCanCarryMatchesNothing) {
  for (const char* main_ip : {"010.77.0.10", "10.77.0.10 ", "", "10.77.0"}) {
    HSysInfoMgr::ins().set_virtual(HString(main_ip), HString(kHostMac));
    HTWPkgCallback callback;
    deliver(callback, to(kHostIp));
    deliver(callback, to("10.77.0.1"));
    EXPECT_EQ(0u, guard->queued()) << "main address '" << main_ip << "'";
  }
}

}  // namespace
