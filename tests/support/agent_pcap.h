#pragma once
// Helpers of the agent's tests: capture files written and read with libpcap,
// Ethernet frames of a given length, a recording capture callback, and the
// file helpers of the shared set.
#include <arpa/inet.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/HWinPCapHelper.h"
#include "tests/support/FrameBuilder.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHome.h"

namespace agent_test {

using Frame = tidewell_test::Bytes;
using tidewell_test::count_of;
using tidewell_test::read_file;
using tidewell_test::write_file;

struct TimedFrame {
  double ts = 0;  // seconds of the capture's clock
  Frame bytes;
};

// Writes an Ethernet capture file.
void write_pcap(const std::string& path, const std::vector<TimedFrame>& frames);
// The frames of a capture file; empty when it cannot be read.
std::vector<TimedFrame> read_pcap(const std::string& path);

// An Ethernet frame of `length` bytes (at least 14): the addresses, the
// ethertype, then `fill` up to the length.
Frame ethernet_frame(const std::string& dst_mac, const std::string& src_mac, uint16_t ethertype, size_t length,
                     unsigned char fill = 0);

// Keeps the frames of its ethertype and runs `reaction` on each. Only the
// capture thread adds frames; the tests read them after stop().
class RecordingCallback : public HWPCCallback {
 public:
  explicit RecordingCallback(uint16_t ethertype) { us_filter = htons(ethertype); }
  int on_packet(const unsigned char* frame, int len) override {
    frames.emplace_back(frame, frame + len);
    if (reaction) reaction(frame, len);
    return 0;
  }
  std::vector<Frame> frames;
  std::function<void(const unsigned char*, int)> reaction;
};

}  // namespace agent_test
