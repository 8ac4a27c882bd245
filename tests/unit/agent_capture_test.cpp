// The capture helper over libpcap, fed from capture files that the tests
// write themselves: dispatch by ethertype, short frames, the record of sent
// frames, and the pace of a replay. (A paced replay stopped by a signal is
// the end-to-end test's.)
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "host/HEnvironment.h"
#include "host/HReplayPacer.h"
#include "host/HWinPCapHelper.h"
#include "tests/support/agent_pcap.h"

namespace {

using agent_test::Frame;
using agent_test::RecordingCallback;
using agent_test::TimedFrame;
using Clock = std::chrono::steady_clock;

const char* const HOST_MAC = "02:77:00:00:00:0a";
const char* const PEER_MAC = "02:77:00:00:00:01";

class CaptureHelperThread : public ::testing::Test {
 protected:
  void SetUp() override {
    HEnvironment::set_home(HString(dir.path()));
    helper().reset_for_test();
  }
  void TearDown() override { helper().reset_for_test(); }

  static HWinPCapHelper& helper() { return HWinPCapHelper::instance(); }

  std::string replay(const std::vector<TimedFrame>& frames) {
    std::string file = dir.file("in.pcap");
    agent_test::write_pcap(file, frames);
    helper().set_replay(file, 0, dir.file("sent.pcap"));
    return file;
  }

  // Replays the file to its end at full speed; bounded, so that a replay
  // that never ends fails the test instead of hanging it.
  static void run_to_the_end() {
    ASSERT_EQ(helper().init(), 0) << helper().last_error();
    ASSERT_EQ(helper().start(), 0) << helper().last_error();
    Clock::time_point end = Clock::now() + std::chrono::seconds(10);
    while (!helper().replay_done() && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    helper().stop();
    ASSERT_TRUE(helper().replay_done()) << "the replay never ended";
  }

  tidewell_test::TempDir dir{"capture"};
};

Frame arp_request(const std::string& target_ip) {
  return tidewell_test::arp_request("ff:ff:ff:ff:ff:ff", PEER_MAC, "10.77.0.1", "00:00:00:00:00:00", target_ip);
}

TEST_F(CaptureHelperThread, FramesReachOnlyTheCallbacksOfTheirEthertypeInOrder) {
  RecordingCallback arp(0x0806);
  RecordingCallback ipv4(0x0800);
  RecordingCallback second_arp(0x0806);
  Frame first = arp_request("10.77.0.10");
  Frame second = arp_request("10.77.0.11");
  Frame ip = agent_test::ethernet_frame(HOST_MAC, PEER_MAC, 0x0800, 80, 0xab);
  Frame ipv6 = agent_test::ethernet_frame(HOST_MAC, PEER_MAC, 0x86dd, 80);
  replay({{1.0, first}, {1.1, ip}, {1.2, ipv6}, {1.3, second}});
  ASSERT_EQ(helper().add_callback(&arp), 0);
  ASSERT_EQ(helper().add_callback(&ipv4), 0);
  ASSERT_EQ(helper().add_callback(&second_arp), 0);
  EXPECT_EQ(helper().add_callback(nullptr), -1);
  ASSERT_EQ(helper().load_dll(), 0);
  run_to_the_end();

  EXPECT_EQ(arp.frames, (std::vector<Frame>{first, second}));
  EXPECT_EQ(second_arp.frames, (std::vector<Frame>{first, second}));
  EXPECT_EQ(ipv4.frames, (std::vector<Frame>{ip}));
  HCaptureStats stats = helper().stats();
  EXPECT_EQ(stats.frames_read, 4u);
  EXPECT_EQ(stats.frames_delivered, 3u) << "a frame counts once, however many callbacks take it";
  EXPECT_EQ(stats.frames_short + stats.frames_dropped, 0u);
}

TEST_F(CaptureHelperThread, FramesShorterThanAnEthernetHeaderAreDroppedAndCounted) {
  RecordingCallback arp(0x0806);
  // 13 bytes whose bytes 12-13 would read past the end as an ARP ethertype.
  Frame stub = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x02, 0x77, 0, 0, 0, 1, 0x08};
  Frame header_only = agent_test::ethernet_frame("ff:ff:ff:ff:ff:ff", PEER_MAC, 0x0806, 14);
  replay({{1.0, stub}, {1.1, Frame{0x08}}, {1.2, header_only}});
  helper().add_callback(&arp);
  run_to_the_end();

  EXPECT_EQ(arp.frames, (std::vector<Frame>{header_only})) << "a bare 14-byte header is the callback's to judge";
  HCaptureStats stats = helper().stats();
  EXPECT_EQ(stats.frames_read, 3u);
  EXPECT_EQ(stats.frames_short, 2u);
  EXPECT_EQ(stats.frames_delivered, 1u);

  helper().deliver(nullptr, 60);
  helper().deliver(stub.data(), 13);
  Frame tag_only = agent_test::ethernet_frame("ff:ff:ff:ff:ff:ff", PEER_MAC, 0x8100, 17);  // no inner ethertype
  helper().deliver(tag_only.data(), 17);
  EXPECT_EQ(helper().stats().frames_short, 5u);
  EXPECT_EQ(arp.frames.size(), 1u);
}

// The callback answers on the capture thread, as the plug-in's probes do
// from their own threads: no lock of the helper may be held. With no target
// MAC, or a zero one, the ARP frame is a broadcast.
TEST_F(CaptureHelperThread, FramesSentFromACallbackAreWrittenToTheSentFile) {
  RecordingCallback arp(0x0806);
  arp.reaction = [](const unsigned char*, int) {
    helper().send_arp(HArpNode{1, "10.77.0.10", HOST_MAC, "10.77.0.1", ""}, false);
    helper().send_arp(HArpNode{1, "10.77.0.10", HOST_MAC, "10.77.0.1", "00:00:00:00:00:00"}, false);
    helper().stats();
  };
  replay({{100.0, arp_request("10.77.0.10")}});
  helper().add_callback(&arp);
  run_to_the_end();

  std::vector<TimedFrame> sent = agent_test::read_pcap(dir.file("sent.pcap"));
  ASSERT_EQ(sent.size(), 2u);
  Frame broadcast =
      tidewell_test::arp_request("ff:ff:ff:ff:ff:ff", HOST_MAC, "10.77.0.10", "00:00:00:00:00:00", "10.77.0.1");
  EXPECT_EQ(sent[0].bytes, broadcast);
  EXPECT_EQ(sent[1].bytes, broadcast);
  EXPECT_EQ(helper().stats().frames_sent, 2u);
}

// The pace of a replay, reckoned without a clock: when each frame is due.
double due_s(HReplayPacer& pacer, double ts) { return std::chrono::duration<double>(pacer.due(ts)).count(); }

TEST(ReplayPacer, ForwardJumpOfYearsWaitsTheLongestGapOnlyAndIsSaidOnce) {
  HReplayPacer pacer(1.0, 5.0);
  EXPECT_DOUBLE_EQ(due_s(pacer, 100.0), 0.0);
  EXPECT_DOUBLE_EQ(due_s(pacer, 100.5), 0.5);
  EXPECT_FALSE(pacer.first_cut());
  EXPECT_DOUBLE_EQ(due_s(pacer, 100.5 + 3 * 365 * 86400.0), 5.5);
  EXPECT_TRUE(pacer.first_cut());
  EXPECT_DOUBLE_EQ(pacer.gap_cut_s(), 3 * 365 * 86400.0);
  EXPECT_DOUBLE_EQ(due_s(pacer, 200.0 + 6 * 365 * 86400.0), 10.5);
  EXPECT_FALSE(pacer.first_cut()) << "said once";
  EXPECT_DOUBLE_EQ(due_s(pacer, 50.0), 10.5) << "a gap backwards is no wait";
  EXPECT_DOUBLE_EQ(due_s(pacer, 51.0), 11.5);
}

TEST(ReplayPacer, TinySpeedAndSecondsFrom2038NeitherOverflowNorGoNegative) {
  HReplayPacer tiny(1e-300, 2.0);
  EXPECT_DOUBLE_EQ(due_s(tiny, 1.0), 0.0);
  EXPECT_DOUBLE_EQ(due_s(tiny, 2.0), 2.0);
  EXPECT_DOUBLE_EQ(due_s(tiny, 3.0), 4.0);
  // libpcap sign-extends a record's 32-bit seconds.
  EXPECT_DOUBLE_EQ(HReplayPacer::capture_seconds(INT32_MIN, 250000), 2147483648.25);
  HReplayPacer pacer(1.0, 5.0);
  due_s(pacer, HReplayPacer::capture_seconds(INT32_MAX, 0));
  EXPECT_DOUBLE_EQ(due_s(pacer, HReplayPacer::capture_seconds(INT32_MIN, 0)), 1.0);
}

}  // namespace
