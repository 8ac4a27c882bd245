#include "host/HWinPCapHelper.h"

#include <pcap/pcap.h>
#include <stdio_ext.h>
#include <sys/time.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <chrono>
#include <cstring>
#include <memory>

#include "host/HFileLog.h"
#include "host/HNetworkProtocolUtil.h"

namespace {

constexpr int SNAPLEN = 2048;
constexpr int CAPTURE_BUFFER_BYTES = 32 * 1024 * 1024;
constexpr int READ_TIMEOUT_MS = 100;  // the capture loop looks at its stop flag this often
constexpr int ETH_HEADER_LEN = 14;
constexpr int ETHERTYPE_OFFSET = 12;
constexpr int ARP_FRAME_LEN = 60;
constexpr int MAX_SEND_LEN = 65535;
constexpr uint16_t ETHERTYPE_ARP = 0x0806;
constexpr auto DROP_POLL = std::chrono::seconds(1);
constexpr auto PACING_SLICE = std::chrono::milliseconds(20);
// A replay at full speed delivers this many frames per batch: the callback
// list, the counters and the lines that the callbacks log are handled once
// per batch, not once per frame.
constexpr int REPLAY_BATCH_FRAMES = 256;
// Lines that the callbacks log while frames stream in are written this
// often (and whenever the capture is idle): under a flood most of them only
// fill attack-log files that roll over before the next write.
constexpr auto LOG_FLUSH_INTERVAL = std::chrono::milliseconds(20);

const wchar_t* const LOG_SOURCE = L"HWinPCapHelper";

using Clock = std::chrono::steady_clock;
using CallbackList = std::vector<HWPCCallback*>;

enum class Source { none, live, replay };

void log_line(int level, int line, const std::string& text) {
  HFileLog::ins().log(HFileLog::get(level, LOG_SOURCE, line) << HString(text));
}

double seconds_of(const timeval& tv) { return static_cast<double>(tv.tv_sec) + tv.tv_usec / 1e6; }

timeval timeval_of(double seconds) {
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(seconds);
  tv.tv_usec = static_cast<suseconds_t>((seconds - static_cast<double>(tv.tv_sec)) * 1e6);
  return tv;
}

void put_u16(unsigned char* at, uint16_t value) {
  at[0] = static_cast<unsigned char>(value >> 8);
  at[1] = static_cast<unsigned char>(value & 0xff);
}

bool is_zero_mac(const unsigned char* mac) {
  static const unsigned char zero[6] = {0, 0, 0, 0, 0, 0};
  return std::memcmp(mac, zero, 6) == 0;
}

// A capture handle that receives nothing: the kernel filter refuses every
// frame, so a handle used only for sending never fills its ring.
int refuse_all_frames(pcap_t* handle) {
  bpf_insn reject = BPF_STMT(BPF_RET | BPF_K, 0);
  bpf_program program{1, &reject};
  return pcap_setfilter(handle, &program);
}

}  // namespace

struct HWinPCapHelper::Impl {
  // Configuration, handles and the capture thread.
  mutable std::mutex mtx_state;
  Source source = Source::none;
  std::string str_iface;
  std::string str_file;
  std::string str_sent_file;
  double d_speed = 0;
  pcap_t* p_capture = nullptr;
  std::thread capture_thread;
  bool b_started = false;
  Clock::time_point tp_start{};
  Clock::time_point tp_end{};
  bool b_ended = false;
  std::atomic<bool> b_stop{false};
  // When a replay ran out of frames (steady clock, ns; 0 while it runs): the
  // rate of a replay is over its frames, not over the linger behind them.
  std::atomic<int64_t> ll_replay_end_ns{0};

  // Callbacks: a snapshot that the capture thread takes per batch of
  // frames, so that on_packet never runs under a lock of the helper.
  std::mutex mtx_callbacks;
  std::shared_ptr<const CallbackList> sp_callbacks = std::make_shared<CallbackList>();

  // One batch of frames on the capture thread: the callbacks it uses and
  // its counts, added to the shared counters when it ends.
  struct Delivery {
    Impl* p_impl = nullptr;
    std::shared_ptr<const CallbackList> sp_list;
    uint64_t ull_read = 0;
    uint64_t ull_delivered = 0;
    uint64_t ull_short = 0;
    double d_last_ts = 0;
  };

  // Sending: the live send handle, or the dump of sent frames in replay.
  std::mutex mtx_send;
  std::function<void(const unsigned char*, int)> send_sink;
  pcap_t* p_send = nullptr;
  pcap_t* p_dead = nullptr;
  pcap_dumper_t* p_dumper = nullptr;
  bool b_send_to_file = false;
  double d_send_speed = 0;
  // Capture time of the last replayed frame, and when the batch that holds
  // it began (per frame in a paced replay): written by the capture thread
  // without a lock, read when a frame is sent.
  std::atomic<double> d_replay_ts{0};
  std::atomic<int64_t> ll_replay_wall_ns{0};

  std::atomic<uint64_t> ull_read{0};
  std::atomic<uint64_t> ull_delivered{0};
  std::atomic<uint64_t> ull_short{0};
  std::atomic<uint64_t> ull_sent{0};
  std::atomic<uint64_t> ull_dropped{0};
  std::atomic<uint64_t> ull_queue_dropped{0};

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
  Delivery begin_delivery();
  static void deliver_one(Delivery& batch, const unsigned char* frame, int len);
  void end_delivery(Delivery& batch);
  Clock::time_point mark_replay_wall();
  void replay_paced(const std::string& file, double speed);
  void replay_at_full_speed(const std::string& file);
  int open_live(pcap_t*& handle, bool for_sending);
  int open_replay();
  int open_sent_dump();
  void close_handles();
  void run_live(const std::string& iface);
  void run_replay(const std::string& file, double speed, std::atomic<bool>& done);
  void poll_drops(Clock::time_point& next_poll);
  bool wait_until(Clock::time_point when);
  timeval sent_timestamp();
  int write_frame(const unsigned char* frame, int length);

 private:
  mutable std::mutex mtx_error;
  std::string str_error_shared;
};

void HWinPCapHelper::Impl::dispatch(const unsigned char* frame, int len) {
  Delivery batch = begin_delivery();
  deliver_one(batch, frame, len);
  end_delivery(batch);
}

HWinPCapHelper::Impl::Delivery HWinPCapHelper::Impl::begin_delivery() {
  Delivery batch;
  batch.p_impl = this;
  batch.sp_list = callbacks();
  return batch;
}

void HWinPCapHelper::Impl::deliver_one(Delivery& batch, const unsigned char* frame, int len) {
  ++batch.ull_read;
  if (frame == nullptr || len < ETH_HEADER_LEN) {
    ++batch.ull_short;
    return;
  }
  uint16_t ethertype = 0;  // as stored, like the callbacks' filters
  std::memcpy(&ethertype, frame + ETHERTYPE_OFFSET, sizeof(ethertype));
  bool delivered = false;
  for (HWPCCallback* callback : *batch.sp_list) {
    if (callback->us_filter != ethertype) continue;
    callback->on_packet(frame, len);
    delivered = true;
  }
  if (delivered) ++batch.ull_delivered;
}

void HWinPCapHelper::Impl::end_delivery(Delivery& batch) {
  if (batch.ull_read) ull_read.fetch_add(batch.ull_read);
  if (batch.ull_delivered) ull_delivered.fetch_add(batch.ull_delivered);
  if (batch.ull_short) ull_short.fetch_add(batch.ull_short);
  batch.ull_read = batch.ull_delivered = batch.ull_short = 0;
}

Clock::time_point HWinPCapHelper::Impl::mark_replay_wall() {
  Clock::time_point now = Clock::now();
  ll_replay_wall_ns.store(std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count(),
                          std::memory_order_relaxed);
  return now;
}

int HWinPCapHelper::Impl::open_live(pcap_t*& handle, bool for_sending) {
  char errbuf[PCAP_ERRBUF_SIZE] = {0};
  handle = pcap_create(str_iface.c_str(), errbuf);
  if (handle == nullptr) {
    set_error("cannot open interface " + str_iface + ": " + errbuf);
    return -1;
  }
  pcap_set_snaplen(handle, for_sending ? 64 : SNAPLEN);
  // Room for a flood to wait while the capture thread is off the CPU: a
  // minimum-size frame takes some 144 bytes of the ring, so this holds about
  // 150 ms at 1 GbE line rate, two seconds at 100,000 frames per second.
  if (!for_sending) pcap_set_buffer_size(handle, CAPTURE_BUFFER_BYTES);
  pcap_set_immediate_mode(handle, 1);
  pcap_set_timeout(handle, READ_TIMEOUT_MS);
  int status = pcap_activate(handle);
  if (status < 0) {
    std::string why = pcap_geterr(handle);
    if (status == PCAP_ERROR_PERM_DENIED) {
      set_error("live capture on " + str_iface + " needs CAP_NET_RAW (run as root): " + why);
    } else if (status == PCAP_ERROR_NO_SUCH_DEVICE) {
      set_error("no such interface: " + str_iface);
    } else {
      set_error("cannot capture on " + str_iface + ": " + why);
    }
    pcap_close(handle);
    handle = nullptr;
    return -1;
  }
  if (pcap_datalink(handle) != DLT_EN10MB) {
    set_error("interface " + str_iface + " is not an Ethernet interface");
    pcap_close(handle);
    handle = nullptr;
    return -1;
  }
  // Only frames coming in: the plug-in must never judge its own requests.
  int direction = for_sending ? refuse_all_frames(handle) : pcap_setdirection(handle, PCAP_D_IN);
  if (direction != 0) {
    set_error("cannot set up capture on " + str_iface + ": " + pcap_geterr(handle));
    pcap_close(handle);
    handle = nullptr;
    return -1;
  }
  return 0;
}

// The file is read by the capture thread alone: its stream needs no lock,
// which the C library would otherwise take twice per frame once the process
// has threads.
int HWinPCapHelper::Impl::open_replay() {
  char errbuf[PCAP_ERRBUF_SIZE] = {0};
  FILE* file = std::fopen(str_file.c_str(), "rbe");
  if (file == nullptr) {
    set_error("cannot read capture file " + str_file + ": " + std::strerror(errno));
    return -1;
  }
  __fsetlocking(file, FSETLOCKING_BYCALLER);
  p_capture = pcap_fopen_offline(file, errbuf);
  if (p_capture == nullptr) {
    std::fclose(file);
    set_error("cannot read capture file " + str_file + ": " + errbuf);
    return -1;
  }
  if (pcap_datalink(p_capture) != DLT_EN10MB) {
    set_error("capture file " + str_file + " does not hold Ethernet frames");
    pcap_close(p_capture);
    p_capture = nullptr;
    return -1;
  }
  return 0;
}

int HWinPCapHelper::Impl::open_sent_dump() {
  if (str_sent_file.empty()) return 0;
  std::lock_guard<std::mutex> lock(mtx_send);
  b_send_to_file = true;
  d_send_speed = d_speed;
  p_dead = pcap_open_dead(DLT_EN10MB, MAX_SEND_LEN);
  if (p_dead == nullptr) {
    set_error("cannot prepare " + str_sent_file);
    return -1;
  }
  p_dumper = pcap_dump_open(p_dead, str_sent_file.c_str());
  if (p_dumper == nullptr) {
    set_error("cannot write " + str_sent_file + ": " + pcap_geterr(p_dead));
    pcap_close(p_dead);
    p_dead = nullptr;
    return -1;
  }
  return 0;
}

void HWinPCapHelper::Impl::close_handles() {
  if (p_capture != nullptr) {
    pcap_close(p_capture);
    p_capture = nullptr;
  }
  std::lock_guard<std::mutex> lock(mtx_send);
  if (p_dumper != nullptr) {
    pcap_dump_close(p_dumper);
    p_dumper = nullptr;
  }
  if (p_dead != nullptr) {
    pcap_close(p_dead);
    p_dead = nullptr;
  }
  if (p_send != nullptr) {
    pcap_close(p_send);
    p_send = nullptr;
  }
}

void HWinPCapHelper::Impl::poll_drops(Clock::time_point& next_poll) {
  Clock::time_point now = Clock::now();
  if (now < next_poll) return;
  next_poll = now + DROP_POLL;
  pcap_stat counters{};
  if (pcap_stats(p_capture, &counters) == 0) {
    ull_dropped.store(static_cast<uint64_t>(counters.ps_drop) + counters.ps_ifdrop);
  }
}

void HWinPCapHelper::Impl::run_live(const std::string& iface) {
  auto handler = [](u_char* user, const pcap_pkthdr* header, const u_char* bytes) {
    deliver_one(*reinterpret_cast<Delivery*>(user), bytes, static_cast<int>(header->caplen));
  };
  Clock::time_point next_poll = Clock::now();
  HFileLog::Batch log_batch;
  Clock::time_point next_flush = Clock::now() + LOG_FLUSH_INTERVAL;
  while (!b_stop.load()) {
    Delivery batch = begin_delivery();
    int n = pcap_dispatch(p_capture, -1, handler, reinterpret_cast<u_char*>(&batch));
    end_delivery(batch);
    Clock::time_point now = Clock::now();
    if (n <= 0 || now >= next_flush) {
      log_batch.flush();
      next_flush = now + LOG_FLUSH_INTERVAL;
    }
    if (n == PCAP_ERROR) {
      set_error("capture on " + iface + " failed: " + pcap_geterr(p_capture));
      log_line(1, __LINE__, error());
      break;
    }
    poll_drops(next_poll);
  }
  poll_drops(next_poll = Clock::now());
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
  if (speed > 0) {
    replay_paced(file, speed);
  } else {
    replay_at_full_speed(file);
  }
  ll_replay_end_ns.store(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count());
  done.store(true);
  log_line(2, __LINE__, "replay of " + file + " done, frames " + std::to_string(ull_read.load()));
}

void HWinPCapHelper::Impl::replay_paced(const std::string& file, double speed) {
  bool first = true;
  double first_ts = 0;
  Clock::time_point wall_start = Clock::now();
  pcap_pkthdr* header = nullptr;
  const u_char* bytes = nullptr;
  while (!b_stop.load()) {
    int status = pcap_next_ex(p_capture, &header, &bytes);
    if (status == PCAP_ERROR_BREAK) break;  // end of the file
    if (status != 1) {
      set_error("reading " + file + " failed: " + pcap_geterr(p_capture));
      log_line(1, __LINE__, error());
      break;
    }
    double ts = seconds_of(header->ts);
    if (first) {
      first = false;
      first_ts = ts;
    }
    if (ts > first_ts) {
      auto offset = std::chrono::duration<double>((ts - first_ts) / speed);
      if (!wait_until(wall_start + std::chrono::duration_cast<Clock::duration>(offset))) break;
    }
    d_replay_ts.store(ts, std::memory_order_relaxed);
    mark_replay_wall();
    dispatch(bytes, static_cast<int>(header->caplen));
  }
}

// Frames go out in batches. A frame sent meanwhile is stamped from the
// batch's start, so it may sort a little late among the replayed frames,
// never before the frame that caused it.
void HWinPCapHelper::Impl::replay_at_full_speed(const std::string& file) {
  auto handler = [](u_char* user, const pcap_pkthdr* header, const u_char* bytes) {
    Delivery& batch = *reinterpret_cast<Delivery*>(user);
    batch.p_impl->d_replay_ts.store(seconds_of(header->ts), std::memory_order_relaxed);
    deliver_one(batch, bytes, static_cast<int>(header->caplen));
  };
  HFileLog::Batch log_batch;
  Clock::time_point next_flush = Clock::now() + LOG_FLUSH_INTERVAL;
  while (!b_stop.load()) {
    Delivery batch = begin_delivery();
    Clock::time_point now = mark_replay_wall();
    if (now >= next_flush) {
      log_batch.flush();
      next_flush = now + LOG_FLUSH_INTERVAL;
    }
    int n = pcap_dispatch(p_capture, REPLAY_BATCH_FRAMES, handler, reinterpret_cast<u_char*>(&batch));
    end_delivery(batch);
    if (n == 0 || n == PCAP_ERROR_BREAK) break;  // end of the file, or stop()
    if (n < 0) {
      set_error("reading " + file + " failed: " + pcap_geterr(p_capture));
      log_line(1, __LINE__, error());
      break;
    }
  }
}

// Sent frames are stamped on the replay's own time line, so that they sort
// among the replayed frames they answer. Called under mtx_send.
timeval HWinPCapHelper::Impl::sent_timestamp() {
  double replay_ts = d_replay_ts.load(std::memory_order_relaxed);
  if (replay_ts <= 0) {
    timeval now{};
    gettimeofday(&now, nullptr);
    return now;
  }
  Clock::time_point delivered{std::chrono::nanoseconds(ll_replay_wall_ns.load(std::memory_order_relaxed))};
  double since = std::max(0.0, std::chrono::duration<double>(Clock::now() - delivered).count());
  return timeval_of(replay_ts + (d_send_speed > 0 ? since * d_send_speed : since));
}

// Called under mtx_send.
int HWinPCapHelper::Impl::write_frame(const unsigned char* frame, int length) {
  if (b_send_to_file) {
    if (p_dumper == nullptr) return -1;
    pcap_pkthdr header{};
    header.ts = sent_timestamp();
    header.caplen = static_cast<bpf_u_int32>(length);
    header.len = static_cast<bpf_u_int32>(length);
    pcap_dump(reinterpret_cast<u_char*>(p_dumper), &header, frame);
    // Flushed at once: the agent leaves with _exit().
    pcap_dump_flush(p_dumper);
    return 0;
  }
  if (p_send == nullptr) return -1;
  return pcap_inject(p_send, frame, static_cast<size_t>(length)) == length ? 0 : -1;
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
  const char* version = pcap_lib_version();
  if (version == nullptr || *version == '\0') {
    p_impl->set_error("libpcap is not usable");
    return -1;
  }
  log_line(2, __LINE__, version);
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

int HWinPCapHelper::check_source() {
  std::lock_guard<std::mutex> lock(p_impl->mtx_state);
  Impl& im = *p_impl;
  if (im.source == Source::none) {
    im.set_error("no capture source is configured");
    return -1;
  }
  if (im.p_capture != nullptr) return 0;
  int result = im.source == Source::live ? im.open_live(im.p_capture, false) : im.open_replay();
  if (im.p_capture != nullptr) {
    pcap_close(im.p_capture);
    im.p_capture = nullptr;
  }
  return result;
}

int HWinPCapHelper::init() {
  std::lock_guard<std::mutex> lock(p_impl->mtx_state);
  Impl& im = *p_impl;
  if (im.p_capture != nullptr) return 0;
  if (im.source == Source::none) {
    im.set_error("no capture source is configured");
    log_line(1, __LINE__, im.error());
    return -1;
  }
  int result = 0;
  if (im.source == Source::live) {
    pcap_t* sender = nullptr;
    result = im.open_live(im.p_capture, false);
    if (result == 0) result = im.open_live(sender, true);
    std::lock_guard<std::mutex> send_lock(im.mtx_send);
    im.p_send = sender;
  } else {
    result = im.open_replay();
    if (result == 0) result = im.open_sent_dump();
  }
  if (result != 0) {
    log_line(1, __LINE__, im.error());
    im.close_handles();
    return -1;
  }
  log_line(2, __LINE__, im.source == Source::live ? "capturing on " + im.str_iface : "replaying " + im.str_file);
  return 0;
}

int HWinPCapHelper::start() {
  std::lock_guard<std::mutex> lock(p_impl->mtx_state);
  Impl& im = *p_impl;
  if (im.b_started) return 0;
  if (im.p_capture == nullptr) {
    im.set_error("capture is not initialised");
    log_line(1, __LINE__, im.error());
    return -1;
  }
  im.b_stop.store(false);
  b_replay_done.store(false);
  im.tp_start = Clock::now();
  im.b_ended = false;
  im.ll_replay_end_ns.store(0);
  Source source = im.source;
  std::string name = source == Source::live ? im.str_iface : im.str_file;
  double speed = im.d_speed;
  try {
    im.capture_thread = std::thread([this, source, name, speed] {
      if (source == Source::live) {
        p_impl->run_live(name);
      } else {
        p_impl->run_replay(name, speed, b_replay_done);
      }
    });
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
  if (im.p_capture != nullptr) pcap_breakloop(im.p_capture);
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
    if (im.b_send_to_file && im.p_dumper != nullptr) result = im.write_frame(frame, length);
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
  put_u16(body, 1);        // hardware: Ethernet
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
  out.frames_dropped = im.ull_dropped.load();
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

void HWinPCapHelper::count_queue_drop() { p_impl->ull_queue_dropped.fetch_add(1, std::memory_order_relaxed); }

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
    im.d_replay_ts.store(0);
    im.ll_replay_wall_ns.store(0);
  }
  im.set_error("");
  im.ull_read.store(0);
  im.ull_delivered.store(0);
  im.ull_short.store(0);
  im.ull_sent.store(0);
  im.ull_dropped.store(0);
  im.ull_queue_dropped.store(0);
  b_replay_done.store(false);
  b_load = b_arp = b_dhcp = 0;
}
