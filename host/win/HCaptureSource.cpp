// The capture helper's source on Windows. No capture driver can be installed
// here, so frames come from a pcap file replayed at its own pace (read by
// PcapFileReader, not libpcap) or from a test (deliver); sent frames go to a
// test's sink or into the replay's pcap file of sent frames. Live capture is
// refused with a message that says so.
#include <chrono>

#include "host/HReplayPacer.h"
#include "host/HWinPCapHelperImpl.h"
#include "host/win/PcapFileReader.h"
#include "host/win/PcapFileWriter.h"

namespace {


const char kNoLiveCapture[] = "live capture needs a capture driver, which this build does not load: replay a pcap file";

double system_seconds() {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

struct HWinPCapHelper::Impl::Native {
  std::unique_ptr<PcapFileReader> p_reader;
  PcapFileWriter sent_writer;  // under mtx_send

  int open_replay(Impl& im, std::unique_ptr<PcapFileReader>& reader);
  void replay(Impl& im, const std::string& file, double speed);
};

HWinPCapHelper::Impl::Impl() : p_native(new Native()) {}

int HWinPCapHelper::Impl::Native::open_replay(Impl& im, std::unique_ptr<PcapFileReader>& reader) {
  reader.reset(new PcapFileReader());
  if (reader->open(im.str_file) != 0) {
    im.set_error(reader->error());
    reader.reset();
    return -1;
  }
  if (reader->link_type() != PcapFileReader::kLinkEthernet) {
    im.set_error("capture file " + im.str_file + " does not hold Ethernet frames");
    reader.reset();
    return -1;
  }
  return 0;
}

int HWinPCapHelper::Impl::open_sent_dump() {
  if (p_native->sent_writer.open(str_sent_file, MAX_SEND_LEN) != 0) {
    set_error("cannot write " + str_sent_file);
    return -1;
  }
  return 0;
}

void HWinPCapHelper::Impl::Native::replay(Impl& im, const std::string& file, double speed) {
  HReplayPacer pacer(speed > 0 ? speed : 1, im.d_longest_gap_s);
  Clock::time_point wall_start = Clock::now();
  PcapRecord record;
  while (!im.b_stop.load()) {
    int status = p_reader->next(record);
    if (status == 0) break;  // end of the file
    if (status < 0) {
      im.fail_replay(file, p_reader->error());
      break;
    }
    if (speed > 0) {
      Clock::duration due = pacer.due(record.d_time);
      if (pacer.first_cut()) im.note_gap_cut(file, pacer.gap_cut_s());
      if (!im.wait_until(wall_start + due)) break;
    }
    im.d_replay_ts.store(record.d_time, std::memory_order_relaxed);
    im.mark_replay_wall();
    im.dispatch(record.vt_bytes.data(), static_cast<int>(record.vt_bytes.size()));
  }
}

std::string HWinPCapHelper::library_version() { return "pcap files read by the agent itself (no libpcap)"; }

int HWinPCapHelper::Impl::load_library() {
  log_line(2, __LINE__, "capture from pcap files and test frames (no capture driver)");
  return 0;
}

bool HWinPCapHelper::Impl::is_open() const { return p_native->p_reader != nullptr; }

int HWinPCapHelper::Impl::probe_source() {
  if (source == Source::live) {
    set_error(kNoLiveCapture);
    return -1;
  }
  if (p_native->p_reader) return 0;
  std::unique_ptr<PcapFileReader> probe;
  return p_native->open_replay(*this, probe);
}

int HWinPCapHelper::Impl::open_source() {
  if (source == Source::live) {
    set_error(kNoLiveCapture);
    return -1;
  }
  int result = p_native->open_replay(*this, p_native->p_reader);
  if (result == 0) result = open_sent_file();
  return result;
}

void HWinPCapHelper::Impl::run(Source, const std::string& name, double speed, std::atomic<bool>& done) {
  p_native->replay(*this, name, speed);
  end_replay(name, done);
}

// The reader never waits for frames: the stop flag is enough.
void HWinPCapHelper::Impl::break_loop() {}

void HWinPCapHelper::Impl::close_handles() {
  p_native->p_reader.reset();
  std::lock_guard<std::mutex> lock(mtx_send);
  p_native->sent_writer.close();
}

bool HWinPCapHelper::Impl::sent_file_open() const { return p_native->sent_writer.is_open(); }

// Without a file of sent frames there is no wire to send to: no capture
// driver is loaded.
int HWinPCapHelper::Impl::write_frame(const unsigned char* frame, int length) {
  if (!b_send_to_file || !p_native->sent_writer.is_open()) return -1;
  double replay_time = replay_send_time();
  double when = replay_time > 0 ? replay_time : system_seconds();
  return p_native->sent_writer.write(when, frame, static_cast<uint32_t>(length));
}
