// A full-speed replay hands frames out in batches: the lines that callbacks
// log must all be on disk when the replay is done, and a frame sent in
// answer must never be stamped before the frame it answers. Order and
// counts of the frames: the capture helper's own test (agent_capture_test).
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "host/HEnvironment.h"
#include "host/HFileLog.h"
#include "host/HWinPCapHelper.h"
#include "tests/support/TestHome.h"
#include "tests/support/agent_pcap.h"

namespace {

using agent_test::Frame;
using agent_test::TimedFrame;
using Clock = std::chrono::steady_clock;

constexpr int kFrames = 2500;  // several batches, the last one short
constexpr double kFirstTs = 100.0;
constexpr double kStep = 0.001;

// Frame i carries i in its last four bytes.
Frame numbered_frame(int i) {
  Frame f = agent_test::ethernet_frame("02:77:00:00:00:0a", "02:77:00:00:00:01", 0x0806, 60);
  std::memcpy(f.data() + 56, &i, sizeof(i));
  return f;
}

int number_of(const unsigned char* frame) {
  int i = 0;
  std::memcpy(&i, frame + 56, sizeof(i));
  return i;
}

class HostCaptureBatch : public ::testing::Test {
 protected:
  void SetUp() override { helper().reset_for_test(); }
  void TearDown() override { helper().reset_for_test(); }
  static HWinPCapHelper& helper() { return HWinPCapHelper::instance(); }

  tidewell_test::TestHome home{"capture-batch"};
};

// Every frame's line goes to a log that rolls over many times within the
// replay; every 50th frame is answered.
TEST_F(HostCaptureBatch, LoggedLinesAreOnDiskAtTheEndAndAnswersStampedAfterTheirFrames) {
  HFileLog batched;
  HFileLog single;
  ASSERT_EQ(0, batched.set_path(HString(home.file("log")), L"Batched"));
  ASSERT_EQ(0, single.set_path(HString(home.file("log")), L"Single"));
  batched.set_max_file_len(4000);
  single.set_max_file_len(4000);
  agent_test::RecordingCallback arp(0x0806);
  arp.reaction = [&batched](const unsigned char* frame, int len) {
    int i = number_of(frame);
    batched.log(HString(L"frame ") + HString(static_cast<unsigned long>(i)));
    if (len >= 60 && i % 50 == 0) HWinPCapHelper::instance().send_packet(frame, len);
  };
  helper().add_callback(&arp);
  // Frames 0..kFrames-1, every 97th cut to 10 bytes.
  std::vector<TimedFrame> frames;
  for (int i = 0; i < kFrames; ++i) {
    Frame f = numbered_frame(i);
    if (i % 97 == 5) f.resize(10);
    frames.push_back({kFirstTs + i * kStep, f});
  }
  agent_test::write_pcap(home.file("in.pcap"), frames);
  helper().set_replay(home.file("in.pcap"), 0, home.file("sent.pcap"));
  ASSERT_EQ(0, helper().init()) << helper().last_error();
  ASSERT_EQ(0, helper().start()) << helper().last_error();
  Clock::time_point limit = Clock::now() + std::chrono::seconds(10);
  while (!helper().replay_done() && Clock::now() < limit) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ASSERT_TRUE(helper().replay_done());

  // Read before stop(): the replay's end is when its lines must be there.
  std::string current = tidewell_test::read_file(home.file("log/Batched.log"));
  std::string previous = tidewell_test::read_file(home.file("log/Batched.log.1"));
  helper().stop();
  for (int i = 0; i < kFrames; ++i)
    if (i % 97 != 5) single.log(HString(L"frame ") + HString(static_cast<unsigned long>(i)));
  EXPECT_EQ(tidewell_test::read_file(home.file("log/Single.log")), current);
  EXPECT_EQ(tidewell_test::read_file(home.file("log/Single.log.1")), previous);
  EXPECT_NE(std::string::npos, current.find("frame 2499\n"));

  std::vector<TimedFrame> sent = agent_test::read_pcap(home.file("sent.pcap"));
  ASSERT_EQ(static_cast<size_t>(kFrames / 50), sent.size());
  for (const TimedFrame& f : sent) {
    int i = number_of(f.bytes.data());
    EXPECT_GE(f.ts + 1e-6, kFirstTs + i * kStep) << "answer to frame " << i;
    EXPECT_LT(f.ts, kFirstTs + i * kStep + 1.0) << "answer to frame " << i;
  }
}

}  // namespace
