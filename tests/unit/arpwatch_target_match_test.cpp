// The ARP callback compares a frame's target with the host's main address by
// its four bytes, and leaves the text to the guard's thread: the frames it
// forwards, and the texts the guard gets, must be exactly those of a text
// comparison.
#include <gtest/gtest.h>

#include <string>

#include "arpguard/HThreadTidewell.h"
#include "arpwatch/HTWPkgCallback.h"
#include "frame/HPTWGlobal.h"
#include "host/HSysInfoMgr.h"
#include "tests/support/arpwatch_support.h"

using namespace arpwatch_test;

namespace {

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
