// The agent's capture helper on Windows. No capture driver can be installed
// here, so frames come from a pcap file replayed at its own pace (read by
// PcapFile, not libpcap) or from a test (deliver); sent frames go to a test's
// sink or into the replay's pcap file of sent frames. Live capture is
// refused with a message that says so.
#include "host/HWinPCapHelper.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>

#include "host/HFileLog.h"
#include "host/HNetworkProtocolUtil.h"
#include "host/win/PcapFileReader.h"
#include "host/win/PcapFileWriter.h"

namespace {

constexpr int ETH_HEADER_LEN = 14;
constexpr int ETHERTYPE_OFFSET = 12;
constexpr int ARP_FRAME_LEN = 60;
constexpr int MAX_SEND_LEN = 65535;
constexpr uint16_t ETHERTYPE_ARP = 0x0806;
constexpr auto PACING_SLICE = std::chrono::milliseconds(20);

const wchar_t* const LOG_SOURCE = L"HWinPCapHelper";

using Clock = std::chrono::steady_clock;
using CallbackList = std::vector<HWPCCallback*>;

enum class Source { none, live, replay };

void log_line(int level, int line, const std::string& text) {
  HFileLog::ins().log(HFileLog::get(level, LOG_SOURCE, line) << HString(text));
}

double system_seconds() {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count();
}

void put_u16(unsigned char* at, uint16_t value) {
  at[0] = static_cast<unsigned char>(value >> 8);
  at[1] = static_cast<unsigned char>(value & 0xff);
}

bool is_zero_mac(const unsigned char* mac) {
  static const unsigned char zero[6] = {0, 0, 0, 0, 0, 0};
  return std::memcmp(mac, zero, 6) == 0;
}

}  // namespace

struct HWinPCapHelper::Impl {
  mutable std::mutex mtx_state;
  Source source = Source::none;
  std::string str_iface;
  std::string str_file;
  std::string str_sent_file;
  double d_speed = 0;
  std::unique_ptr<PcapFileReader> p_reader;
  std::thread capture_thread;
  bool b_started = false;
  Clock::time_point tp_start{};
  Clock::time_point tp_end{};
  bool b_ended = false;
  std::atomic<bool> b_stop{false};
  // When a replay ran out of frames (steady clock, ns; 0 while it runs): the
  // rate of a replay is over its frames, not over the linger behind them.
  std::atomic<int64_t> ll_replay_end_ns{0};

  // Callbacks: a snapshot that the capture thread takes per frame, so that
  // on_packet never runs under a lock of the helper.
  std::mutex mtx_callbacks;
  std::shared_ptr<const CallbackList> sp_callbacks = std::make_shared<CallbackList>();

  std::mutex mtx_send;
  std::function<void(const unsigned char*, int)> send_sink;
  PcapFileWriter sent_writer;
  bool b_send_to_file = false;
  double d_send_speed = 0;
  double d_replay_ts = 0;            // capture time of the last replayed frame
  Clock::time_point tp_replay_ts{};  // when it was delivered

  std::atomic<uint64_t> ull_read{0};
  std::atomic<uint64_t> ull_delivered{0};
  std::atomic<uint64_t> ull_short{0};
  std::atomic<uint64_t> ull_queue_dropped{0};
  std::atomic<uint64_t> ull_sent{0};

  void set_error(const std::string& text) {
    std::lock_guard<std::mutex> lock(mtx_error);
    str_error_shared = text;
  }
  std::string error() const {
    std::lock_guard<std::mutex> lock(mtx_error);
    return str_error_shared;
  }

  std::shared_ptr<const CallbackList> callbacks() {
    std::lock_guard<std::mutex> lock(mtx_callbacks);
    return sp_callbacks;
  }

  void dispatch(const unsigned char* frame, int len);
  int open_replay(std::unique_ptr<PcapFileReader>& reader);
  int open_sent_dump();
  void close_handles();
  void run_replay(const std::string& file, double speed, std::atomic<bool>& done);
  bool wait_until(Clock::time_point when);
  double sent_timestamp();
  int write_frame(const unsigned char* frame, int length);

 private:
  mutable std::mutex mtx_error;
  std::string str_error_shared;
};

void HWinPCapHelper::Impl::dispatch(const unsigned char* frame, int len) {
  ull_read.fetch_add(1);
  if (frame == nullptr || len < ETH_HEADER_LEN) {
    ull_short.fetch_add(1);
    return;
  }
  uint16_t ethertype = 0;  // as stored, like the callbacks' filters
  std::memcpy(&ethertype, frame + ETHERTYPE_OFFSET, sizeof(ethertype));
  std::shared_ptr<const CallbackList> list = callbacks();
  bool delivered = false;
  for (HWPCCallback* callback : *list) {
    if (callback->us_filter != ethertype) continue;
    callback->on_packet(frame, len);
    delivered = true;
  }
  if (delivered) ull_delivered.fetch_add(1);
}

int HWinPCapHelper::Impl::open_replay(std::unique_ptr<PcapFileReader>& reader) {
  reader.reset(new PcapFileReader());
  if (reader->open(str_file) != 0) {
    set_error(reader->error());
    reader.reset();
    return -1;
  }
  if (reader->link_type() != PcapFileReader::kLinkEthernet) {
    set_error("capture file " + str_file + " does not hold Ethernet frames");
    reader.reset();
    return -1;
  }
  return 0;
}

int HWinPCapHelper::Impl::open_sent_dump() {
  if (str_sent_file.empty()) return 0;
  std::lock_guard<std::mutex> lock(mtx_send);
  b_send_to_file = true;
  d_send_speed = d_speed;
  if (sent_writer.open(str_sent_file, MAX_SEND_LEN) != 0) {
    set_error("cannot write " + str_sent_file);
    return -1;
  }
  return 0;
}

void HWinPCapHelper::Impl::close_handles() {
  p_reader.reset();
  std::lock_guard<std::mutex> lock(mtx_send);
  sent_writer.close();
}

// Sleeps in short slices so that stop() is never kept waiting by the pacing.
bool HWinPCapHelper::Impl::wait_until(Clock::time_point when) {
  while (!b_stop.load()) {
    Clock::time_point now = Clock::now();
    if (now >= when) return true;
    std::this_thread::sleep_for(std::min<Clock::duration>(when - now, PACING_SLICE));
  }
  return false;
}

void HWinPCapHelper::Impl::run_replay(const std::string& file, double speed, std::atomic<bool>& done) {
  bool first = true;
  double first_ts = 0;
  Clock::time_point wall_start = Clock::now();
  PcapRecord record;
  while (!b_stop.load()) {
    int status = p_reader->next(record);
    if (status == 0) break;  // end of the file
    if (status < 0) {
      set_error("reading " + file + " failed: " + p_reader->error());
      log_line(1, __LINE__, error());
      break;
    }
    if (first) {
      first = false;
      first_ts = record.d_time;
    }
    if (speed > 0 && record.d_time > first_ts) {
      auto offset = std::chrono::duration<double>((record.d_time - first_ts) / speed);
      if (!wait_until(wall_start + std::chrono::duration_cast<Clock::duration>(offset))) break;
    }
    {
      std::lock_guard<std::mutex> lock(mtx_send);
      d_replay_ts = record.d_time;
      tp_replay_ts = Clock::now();
    }
    dispatch(record.vt_bytes.data(), static_cast<int>(record.vt_bytes.size()));
  }
  ll_replay_end_ns.store(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count());
  done.store(true);
  log_line(2, __LINE__, "replay of " + file + " done, frames " + std::to_string(ull_read.load()));
}

// Sent frames are stamped on the replay's own time line, so that they sort
// among the replayed frames they answer. Called under mtx_send.
double HWinPCapHelper::Impl::sent_timestamp() {
  if (d_replay_ts <= 0) return system_seconds();
  double since = std::chrono::duration<double>(Clock::now() - tp_replay_ts).count();
  return d_replay_ts + (d_send_speed > 0 ? since * d_send_speed : since);
}

// Called under mtx_send. Without a file of sent frames there is no wire to
// send to: no capture driver is loaded.
int HWinPCapHelper::Impl::write_frame(const unsigned char* frame, int length) {
  if (!b_send_to_file || !sent_writer.is_open()) return -1;
  return sent_writer.write(sent_timestamp(), frame, static_cast<uint32_t>(length));
}

HWinPCapHelper& HWinPCapHelper::instance() {
  // Never destroyed: capture and plug-in threads may run past the end of main().
  static HWinPCapHelper* helper = new HWinPCapHelper();
  return *helper;
}

HWinPCapHelper::HWinPCapHelper() : p_impl(new Impl()) {}

int HWinPCapHelper::add_callback(HWPCCallback* callback) {
  if (callback == nullptr) return -1;
  std::lock_guard<std::mutex> lock(p_impl->mtx_callbacks);
  auto list = std::make_shared<CallbackList>(*p_impl->sp_callbacks);
  list->push_back(callback);
  p_impl->sp_callbacks = std::move(list);
  return 0;
}

int HWinPCapHelper::load_dll() {
  log_line(2, __LINE__, "capture from pcap files and test frames (no capture driver)");
  return 0;
}

void HWinPCapHelper::set_live(const std::string& iface) {
  std::lock_guard<std::mutex> lock(p_impl->mtx_state);
  p_impl->source = Source::live;
  p_impl->str_iface = iface;
}

void HWinPCapHelper::set_replay(const std::string& pcap_file, double speed, const std::string& sent_file) {
  std::lock_guard<std::mutex> lock(p_impl->mtx_state);
  p_impl->source = Source::replay;
  p_impl->str_file = pcap_file;
  p_impl->d_speed = speed > 0 ? speed : 0;
  p_impl->str_sent_file = sent_file;
}

namespace {
const char kNoLiveCapture[] = "live capture needs a capture driver, which this build does not load: replay a pcap file";
}

int HWinPCapHelper::check_source() {
  std::lock_guard<std::mutex> lock(p_impl->mtx_state);
  Impl& im = *p_impl;
  if (im.source == Source::none) {
    im.set_error("no capture source is configured");
    return -1;
  }
  if (im.source == Source::live) {
    im.set_error(kNoLiveCapture);
    return -1;
  }
  if (im.p_reader) return 0;
  std::unique_ptr<PcapFileReader> probe;
  return im.open_replay(probe);
}

int HWinPCapHelper::init() {
  std::lock_guard<std::mutex> lock(p_impl->mtx_state);
  Impl& im = *p_impl;
  if (im.p_reader) return 0;
  if (im.source == Source::none) {
    im.set_error("no capture source is configured");
    log_line(1, __LINE__, im.error());
    return -1;
  }
  if (im.source == Source::live) {
    im.set_error(kNoLiveCapture);
    log_line(1, __LINE__, im.error());
    return -1;
  }
  int result = im.open_replay(im.p_reader);
  if (result == 0) result = im.open_sent_dump();
  if (result != 0) {
    log_line(1, __LINE__, im.error());
    im.close_handles();
    return -1;
  }
  log_line(2, __LINE__, "replaying " + im.str_file);
  return 0;
}

int HWinPCapHelper::start() {
  std::lock_guard<std::mutex> lock(p_impl->mtx_state);
  Impl& im = *p_impl;
  if (im.b_started) return 0;
  if (!im.p_reader) {
    im.set_error("capture is not initialised");
    log_line(1, __LINE__, im.error());
    return -1;
  }
  im.b_stop.store(false);
  b_replay_done.store(false);
  im.tp_start = Clock::now();
  im.b_ended = false;
  im.ll_replay_end_ns.store(0);
  std::string name = im.str_file;
  double speed = im.d_speed;
  try {
    im.capture_thread = std::thread([this, name, speed] { p_impl->run_replay(name, speed, b_replay_done); });
  } catch (const std::system_error& e) {
    im.set_error(std::string("cannot start the capture thread: ") + e.what());
    log_line(1, __LINE__, im.error());
    return -1;
  }
  im.b_started = true;
  return 0;
}

void HWinPCapHelper::stop() {
  std::lock_guard<std::mutex> lock(p_impl->mtx_state);
  Impl& im = *p_impl;
  im.b_stop.store(true);
  if (im.capture_thread.joinable()) im.capture_thread.join();
  if (im.b_started && !im.b_ended) {
    im.tp_end = Clock::now();
    im.b_ended = true;
  }
  im.b_started = false;  // init() and start() may open the source again
  im.close_handles();
}

bool HWinPCapHelper::is_started() const {
  std::lock_guard<std::mutex> lock(p_impl->mtx_state);
  return p_impl->b_started;
}

int HWinPCapHelper::send_packet(const unsigned char* frame, int length) {
  if (frame == nullptr || length <= 0 || length > MAX_SEND_LEN) return -1;
  Impl& im = *p_impl;
  std::lock_guard<std::mutex> lock(im.mtx_send);
  int result = 0;
  if (im.send_sink) {
    im.send_sink(frame, length);
    // A replay still keeps its record of what was sent.
    if (im.b_send_to_file && im.sent_writer.is_open()) result = im.write_frame(frame, length);
  } else {
    result = im.write_frame(frame, length);
  }
  if (result == 0) im.ull_sent.fetch_add(1);
  return result;
}

int HWinPCapHelper::send_arp(const HArpNode& node, bool /*reserved*/) {
  unsigned char sender_mac[6] = {0};
  unsigned char target_mac[6] = {0};
  uint32_t sender_ip = 0;
  uint32_t target_ip = 0;
  if (!HNetworkProtocolUtil::MakeMACArrayFromString(node.sender_mac, sender_mac) ||
      !HNetworkProtocolUtil::ParseIPString(node.sender_ip, sender_ip) ||
      !HNetworkProtocolUtil::ParseIPString(node.target_ip, target_ip)) {
    return -1;
  }
  if (!node.target_mac.empty() && !HNetworkProtocolUtil::MakeMACArrayFromString(node.target_mac, target_mac)) {
    return -1;
  }
  unsigned char frame[ARP_FRAME_LEN] = {0};
  if (is_zero_mac(target_mac)) {
    std::memset(frame, 0xff, 6);
  } else {
    std::memcpy(frame, target_mac, 6);
  }
  std::memcpy(frame + 6, sender_mac, 6);
  put_u16(frame + 12, ETHERTYPE_ARP);
  unsigned char* body = frame + ETH_HEADER_LEN;
  put_u16(body, 1);           // hardware: Ethernet
  put_u16(body + 2, 0x0800);  // protocol: IPv4
  body[4] = 6;
  body[5] = 4;
  put_u16(body + 6, node.op);
  std::memcpy(body + 8, sender_mac, 6);
  std::memcpy(body + 14, &sender_ip, 4);  // already in network byte order
  std::memcpy(body + 18, target_mac, 6);
  std::memcpy(body + 24, &target_ip, 4);
  return send_packet(frame, ARP_FRAME_LEN);
}

HCaptureStats HWinPCapHelper::stats() const {
  const Impl& im = *p_impl;
  HCaptureStats out;
  out.frames_read = im.ull_read.load();
  out.frames_delivered = im.ull_delivered.load();
  out.frames_dropped = 0;  // a file drops nothing
  out.frames_short = im.ull_short.load();
  out.frames_queue_dropped = im.ull_queue_dropped.load();
  out.frames_sent = im.ull_sent.load();
  std::lock_guard<std::mutex> lock(im.mtx_state);
  if (im.b_started || im.b_ended) {
    Clock::time_point end = im.b_ended ? im.tp_end : Clock::now();
    int64_t replay_end = im.ll_replay_end_ns.load();
    if (replay_end != 0) end = std::min(end, Clock::time_point(std::chrono::nanoseconds(replay_end)));
    out.seconds = std::chrono::duration<double>(end - im.tp_start).count();
  }
  return out;
}

std::string HWinPCapHelper::last_error() const { return p_impl->error(); }

void HWinPCapHelper::count_queue_drop() { p_impl->ull_queue_dropped.fetch_add(1); }

void HWinPCapHelper::set_send_sink(std::function<void(const unsigned char*, int)> sink) {
  std::lock_guard<std::mutex> lock(p_impl->mtx_send);
  p_impl->send_sink = std::move(sink);
}

void HWinPCapHelper::deliver(const unsigned char* frame, int len) { p_impl->dispatch(frame, len); }

void HWinPCapHelper::reset_for_test() {
  stop();
  Impl& im = *p_impl;
  {
    std::lock_guard<std::mutex> lock(im.mtx_state);
    im.source = Source::none;
    im.str_iface.clear();
    im.str_file.clear();
    im.str_sent_file.clear();
    im.d_speed = 0;
    im.b_started = false;
    im.b_ended = false;
    im.b_stop.store(false);
  }
  {
    std::lock_guard<std::mutex> lock(im.mtx_callbacks);
    im.sp_callbacks = std::make_shared<CallbackList>();
  }
  {
    std::lock_guard<std::mutex> lock(im.mtx_send);
    im.send_sink = nullptr;
    im.b_send_to_file = false;
    im.d_send_speed = 0;
    im.d_replay_ts = 0;
  }
  im.set_error("");
  im.ull_read.store(0);
  im.ull_delivered.store(0);
  im.ull_short.store(0);
  im.ull_queue_dropped.store(0);
  im.ull_sent.store(0);
  b_replay_done.store(false);
  b_load = b_arp = b_dhcp = 0;
}
