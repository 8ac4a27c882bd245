// The capture helper on Windows: pcap files read without libpcap (every
// record length checked before it is read), a replay through the callbacks,
// the frames the plug-in sends kept in a pcap file on the
// replay's time line, and live capture refused with a message.
#include <gtest/gtest.h>
#include <arpa/inet.h>

#include <chrono>
#include <thread>

#include "host/HWinPCapHelper.h"
#include "host/win/PcapFileReader.h"
#include "host/win/PcapFileWriter.h"
#include "tests/support/TestHome.h"

namespace {

using Bytes = std::vector<unsigned char>;

void put32(Bytes& out, uint32_t v, bool big_endian) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (big_endian ? 24 - 8 * i : 8 * i)));
}

Bytes file_header(uint32_t magic, uint32_t snaplen, uint32_t link, bool big_endian) {
  Bytes out;
  put32(out, magic, big_endian);
  put32(out, big_endian ? 0x00020004u : 0x00040002u, big_endian);  // version 2.4
  put32(out, 0, big_endian);
  put32(out, 0, big_endian);
  put32(out, snaplen, big_endian);
  put32(out, link, big_endian);
  return out;
}

void add_record(Bytes& out, uint32_t seconds, uint32_t fraction, const Bytes& frame, bool big_endian,
                uint32_t caplen_claimed = 0xFFFFFFFFu) {
  put32(out, seconds, big_endian);
  put32(out, fraction, big_endian);
  put32(out, caplen_claimed == 0xFFFFFFFFu ? static_cast<uint32_t>(frame.size()) : caplen_claimed, big_endian);
  put32(out, static_cast<uint32_t>(frame.size()), big_endian);
  out.insert(out.end(), frame.begin(), frame.end());
}

Bytes frame_of(uint16_t ethertype, size_t length, unsigned char fill) {
  Bytes frame(length, fill);
  if (length >= 14) {
    frame[12] = static_cast<unsigned char>(ethertype >> 8);
    frame[13] = static_cast<unsigned char>(ethertype & 0xff);
  }
  return frame;
}

// Read once the helper has stopped (its thread joined).
class Collecting : public HWPCCallback {
 public:
  explicit Collecting(uint16_t ethertype_network_order) { us_filter = ethertype_network_order; }
  int on_packet(const unsigned char* frame, int len) override {
    frames.emplace_back(frame, frame + len);
    return 0;
  }
  std::vector<Bytes> frames;
};

bool wait_replay_done(int timeout_ms) {
  for (int waited = 0; waited < timeout_ms; waited += 10) {
    if (HWinPCapHelper::instance().replay_done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

}  // namespace

TEST(WindowsPcapFile, DamagedFilesEndWithAnErrorAndNothingIsReadPastThem) {
  tidewell_test::TestHome home("win-pcap-damaged");
  PcapFileReader reader;
  PcapRecord record;
  EXPECT_EQ(-1, reader.open(home.file("missing.pcap")));
  EXPECT_FALSE(reader.error().empty());
  tidewell_test::write_file(home.file("text.pcap"), std::string(40, 'x'));
  EXPECT_EQ(-1, reader.open(home.file("text.pcap")));
  Bytes header = file_header(0xa1b2c3d4, 96, 1, false);
  tidewell_test::write_file(home.file("short.pcap"), std::string(header.begin(), header.begin() + 20));
  EXPECT_EQ(-1, reader.open(home.file("short.pcap")));

  // A record longer than the snapshot length: refused before it is read.
  Bytes oversized = header;
  add_record(oversized, 1, 0, frame_of(0x0806, 60, 1), false, 100000);
  tidewell_test::write_file(home.file("oversized.pcap"), std::string(oversized.begin(), oversized.end()));
  ASSERT_EQ(0, reader.open(home.file("oversized.pcap")));
  EXPECT_EQ(-1, reader.next(record));
  EXPECT_NE(std::string::npos, reader.error().find("100000"));

  // A record cut by the end of the file, in its header and in its bytes.
  Bytes whole = header;
  add_record(whole, 1, 0, frame_of(0x0806, 60, 2), false);
  for (size_t cut : {header.size() + 9, whole.size() - 1}) {
    tidewell_test::write_file(home.file("cut.pcap"), std::string(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
    ASSERT_EQ(0, reader.open(home.file("cut.pcap")));
    EXPECT_EQ(-1, reader.next(record)) << "cut at " << cut;
  }
  EXPECT_FALSE(reader.parse_header(nullptr, 24));
  EXPECT_FALSE(reader.parse_header(header.data(), 23));
}

// The routing by ethertype and the capture counters are the shared
// dispatch's (frame_startup_test, agent_capture_test); here the Windows
// source: a big-endian file with nanosecond times read through, and the sent
// frames written on the replay's time line.
TEST(WindowsCapture, ReplayReachesTheCallbacksAndSentFramesLandInTheFile) {
  tidewell_test::TestHome home("win-capture");
  Bytes file = file_header(0xa1b23c4d, 65535, 1, true);
  add_record(file, 1000, 0, frame_of(0x0806, 60, 1), true);
  add_record(file, 1000, 300000000, frame_of(0x0800, 300, 2), true);
  tidewell_test::write_file(home.file("in.pcap"), std::string(file.begin(), file.end()));

  HWinPCapHelper& helper = HWinPCapHelper::instance();
  helper.reset_for_test();
  Collecting arp(htons(0x0806));
  ASSERT_EQ(0, helper.add_callback(&arp));
  helper.set_replay(home.file("in.pcap"), 0, home.file("sent.pcap"));
  ASSERT_EQ(0, helper.check_source());
  ASSERT_EQ(0, helper.init());
  ASSERT_EQ(0, helper.start());
  ASSERT_TRUE(wait_replay_done(5000));
  HArpNode request;
  request.op = 1;
  request.sender_ip = "10.77.0.10";
  request.sender_mac = "02:77:00:00:00:0a";
  request.target_ip = "10.77.0.1";
  ASSERT_EQ(0, helper.send_arp(request, false));
  EXPECT_EQ(2u, helper.stats().frames_read);
  helper.stop();
  EXPECT_EQ(std::vector<Bytes>{frame_of(0x0806, 60, 1)}, arp.frames);

  PcapFileReader sent;
  PcapRecord record;
  ASSERT_EQ(0, sent.open(home.file("sent.pcap")));
  ASSERT_EQ(1, sent.next(record));
  EXPECT_EQ(60u, record.vt_bytes.size());
  // Just after the replay's last frame (its nanoseconds read as such), not
  // today's clock.
  EXPECT_GE(record.d_time, 1000.3);
  EXPECT_LT(record.d_time, 1100.0);
  EXPECT_EQ(0, sent.next(record));
  helper.reset_for_test();
}

TEST(WindowsCapture, LiveCaptureIsRefusedWithTheReasonAndSendingHasNowhereToGo) {
  HWinPCapHelper& helper = HWinPCapHelper::instance();
  helper.reset_for_test();
  EXPECT_EQ(0, helper.load_dll());
  EXPECT_EQ(-1, helper.init());  // nothing configured
  helper.set_live("Ethernet");
  EXPECT_EQ(-1, helper.check_source());
  EXPECT_NE(std::string::npos, helper.last_error().find("capture driver"));
  EXPECT_EQ(-1, helper.init());
  EXPECT_EQ(-1, helper.start());
  EXPECT_FALSE(helper.is_started());
  unsigned char frame[60] = {0};
  EXPECT_EQ(-1, helper.send_packet(frame, 60));
  helper.reset_for_test();
}
