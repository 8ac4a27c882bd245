// The capture helper on Windows: pcap files read without libpcap (every
// record length checked before it is read), a replay through the callbacks
// by ethertype, the frames the plug-in sends kept in a pcap file on the
// replay's time line, and live capture refused with a message.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <mutex>
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

class Collecting : public HWPCCallback {
 public:
  explicit Collecting(uint16_t ethertype_network_order) { us_filter = ethertype_network_order; }
  int on_packet(const unsigned char* frame, int len) override {
    std::lock_guard<std::mutex> lock(mtx);
    frames.emplace_back(frame, frame + len);
    return 0;
  }
  std::vector<Bytes> taken() {
    std::lock_guard<std::mutex> lock(mtx);
    return frames;
  }

 private:
  std::mutex mtx;
  std::vector<Bytes> frames;
};

// An ethertype as a frame stores it, read as the callbacks' filters are.
uint16_t stored(uint16_t ethertype) {
  unsigned char bytes[2] = {static_cast<unsigned char>(ethertype >> 8), static_cast<unsigned char>(ethertype)};
  uint16_t value = 0;
  std::memcpy(&value, bytes, 2);
  return value;
}

bool wait_replay_done(int timeout_ms) {
  for (int waited = 0; waited < timeout_ms; waited += 10) {
    if (HWinPCapHelper::instance().replay_done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

}  // namespace

TEST(WindowsPcapFile, BothByteOrdersAndNanosecondTimesAreRead) {
  tidewell_test::TestHome home("win-pcap");
  Bytes little = file_header(0xa1b2c3d4, 65535, 1, false);
  add_record(little, 100, 250000, frame_of(0x0806, 60, 0xaa), false);
  Bytes big = file_header(0xa1b23c4d, 65535, 1, true);
  add_record(big, 200, 500000000, frame_of(0x0800, 42, 0xbb), true);
  tidewell_test::write_file(home.file("little.pcap"), std::string(little.begin(), little.end()));
  tidewell_test::write_file(home.file("big.pcap"), std::string(big.begin(), big.end()));

  PcapFileReader reader;
  PcapRecord record;
  ASSERT_EQ(0, reader.open(home.file("little.pcap")));
  ASSERT_EQ(1, reader.next(record));
  EXPECT_DOUBLE_EQ(100.25, record.d_time);
  EXPECT_EQ(frame_of(0x0806, 60, 0xaa), record.vt_bytes);
  EXPECT_EQ(0, reader.next(record));
  ASSERT_EQ(0, reader.open(home.file("big.pcap")));
  EXPECT_EQ(PcapFileReader::kLinkEthernet, reader.link_type());
  ASSERT_EQ(1, reader.next(record));
  EXPECT_DOUBLE_EQ(200.5, record.d_time);
  EXPECT_EQ(frame_of(0x0800, 42, 0xbb), record.vt_bytes);
}

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

TEST(WindowsCapture, ReplayReachesTheCallbacksByEthertypeAndSentFramesLandInTheFile) {
  tidewell_test::TestHome home("win-capture");
  Bytes file = file_header(0xa1b2c3d4, 65535, 1, false);
  add_record(file, 1000, 0, frame_of(0x0806, 60, 1), false);
  add_record(file, 1000, 100000, frame_of(0x0800, 300, 2), false);
  add_record(file, 1000, 200000, frame_of(0x0806, 10, 3), false);  // shorter than an Ethernet header
  add_record(file, 1000, 300000, frame_of(0x86dd, 80, 4), false);
  tidewell_test::write_file(home.file("in.pcap"), std::string(file.begin(), file.end()));

  HWinPCapHelper& helper = HWinPCapHelper::instance();
  helper.reset_for_test();
  Collecting arp(stored(0x0806));
  Collecting ipv4(stored(0x0800));
  ASSERT_EQ(0, helper.add_callback(&arp));
  ASSERT_EQ(0, helper.add_callback(&ipv4));
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
  EXPECT_EQ(-1, helper.send_packet(nullptr, 60));
  HCaptureStats stats = helper.stats();
  helper.stop();

  ASSERT_EQ(1u, arp.taken().size());
  EXPECT_EQ(frame_of(0x0806, 60, 1), arp.taken()[0]);
  ASSERT_EQ(1u, ipv4.taken().size());
  EXPECT_EQ(300u, ipv4.taken()[0].size());
  EXPECT_EQ(4u, stats.frames_read);
  EXPECT_EQ(2u, stats.frames_delivered);
  EXPECT_EQ(1u, stats.frames_short);
  EXPECT_EQ(1u, stats.frames_sent);

  PcapFileReader sent;
  PcapRecord record;
  ASSERT_EQ(0, sent.open(home.file("sent.pcap")));
  ASSERT_EQ(1, sent.next(record));
  ASSERT_EQ(60u, record.vt_bytes.size());
  EXPECT_EQ(Bytes(6, 0xff), Bytes(record.vt_bytes.begin(), record.vt_bytes.begin() + 6));  // broadcast
  EXPECT_EQ(0x08, record.vt_bytes[12]);
  EXPECT_EQ(0x06, record.vt_bytes[13]);
  // On the replay's time line: just after its last frame, not today's clock.
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
