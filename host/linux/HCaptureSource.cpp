// The capture helper's source on Linux: libpcap, live on an interface
// (incoming frames only) or replaying a pcap file; sent frames go to the
// wire, or in replay into a pcap file.
#include <fcntl.h>
#include <pcap/pcap.h>
#include <stdio_ext.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "host/HDataCenter.h"
#include "host/HFileLog.h"
#include "host/HReplayPacer.h"
#include "host/HHomeDir.h"
#include "host/HReplayReadAhead.h"
#include "host/linux/HCaptureNative.h"
#include "host/HWinPCapHelperImpl.h"

namespace {

constexpr int SNAPLEN = 2048;
constexpr int CAPTURE_BUFFER_BYTES = 32 * 1024 * 1024;
constexpr int READ_TIMEOUT_MS = 100;  // the capture loop looks at its stop flag this often
constexpr auto DROP_POLL = std::chrono::seconds(1);
// A replay at full speed delivers this many frames per batch: the callback
// list, the counters and the lines that the callbacks log are handled once
// per batch, not once per frame.
constexpr int REPLAY_BATCH_FRAMES = 512;
// Lines that the callbacks log while frames stream in are written this
// often (and whenever the capture is idle): under a flood most of them only
// fill attack-log files that roll over before the next write.
constexpr auto LOG_FLUSH_INTERVAL = std::chrono::milliseconds(20);


double seconds_of(const timeval& tv) { return HReplayPacer::capture_seconds(tv.tv_sec, tv.tv_usec); }

timeval timeval_of(double seconds) {
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(seconds);
  tv.tv_usec = static_cast<suseconds_t>((seconds - static_cast<double>(tv.tv_sec)) * 1e6);
  return tv;
}

// A capture handle that receives nothing: the kernel filter refuses every
// frame, so a handle used only for sending never fills its ring.
int refuse_all_frames(pcap_t* handle) {
  bpf_insn reject = BPF_STMT(BPF_RET | BPF_K, 0);
  bpf_program program{1, &reject};
  return pcap_setfilter(handle, &program);
}

// Only what the callbacks judge leaves the kernel: ARP and DHCP's UDP
// ports, and with the IPv6 guard DHCPv6's ports, neighbour discovery
// (ICMPv6 134 to 136) and IPv6 packets whose first header is an extension
// header (the guard walks them itself); untagged or under an 802.1Q tag. A
// busy host's other traffic would cost a copy and a wake-up per frame only
// to be dropped here. The kernel keeps a received tag beside the frame,
// where "vlan" looks for it; libpcap puts it back into the data that it
// hands on.
std::string capture_filter() {
  const std::string judged = HDataCenter::GetGuard().ipv6_on()
                                 ? "arp or (udp and (port 67 or port 68 or port 546 or port 547))"
                                   " or (icmp6 and ip6[40] >= 134 and ip6[40] <= 136)"
                                   " or (ip6 and (ip6[6] == 0 or ip6[6] == 43 or ip6[6] == 60))"
                                 : "arp or (udp and (port 67 or port 68))";
  return judged + " or (vlan and (" + judged + "))";
}

int only_judged_frames(pcap_t* handle) {
  bpf_program program{};
  if (pcap_compile(handle, &program, capture_filter().c_str(), 1, PCAP_NETMASK_UNKNOWN) != 0) return -1;
  int result = pcap_setfilter(handle, &program);
  pcap_freecode(&program);
  return result;
}

// The replayed file is read in blocks of this size: the stream's page-sized
// default costs a system call every twenty-odd frames.
constexpr size_t kReplayBufferBytes = 1 << 20;

// Closes a handle that failed to open the way it should; -1 for the caller.
int close_failed(pcap_t*& handle) {
  pcap_close(handle);
  handle = nullptr;
  return -1;
}

// "-" is standard input; a stream of its own, so that closing it leaves
// descriptor 0 alone.
FILE* open_capture_file(const std::string& path) {
  if (path != "-") return std::fopen(path.c_str(), "rbe");
  int fd = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  FILE* file = ::fdopen(fd, "rb");
  if (file == nullptr) ::close(fd);
  return file;
}

}  // namespace


HWinPCapHelper::Impl::Impl() : p_native(new Native()) {}

int HWinPCapHelper::Impl::Native::open_live(Impl& im, pcap_t*& handle, bool for_sending) {
  const std::string& iface = im.str_iface;
  char errbuf[PCAP_ERRBUF_SIZE] = {0};
  handle = pcap_create(iface.c_str(), errbuf);
  if (handle == nullptr) {
    im.set_error("cannot open interface " + iface + ": " + errbuf);
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
      im.set_error("live capture on " + iface + " needs CAP_NET_RAW (run as root): " + why);
    } else if (status == PCAP_ERROR_NO_SUCH_DEVICE) {
      im.set_error("no such interface: " + iface);
    } else {
      im.set_error("cannot capture on " + iface + ": " + why);
    }
    return close_failed(handle);
  }
  if (pcap_datalink(handle) != DLT_EN10MB) {
    im.set_error("interface " + iface + " is not an Ethernet interface");
    return close_failed(handle);
  }
  // Only frames coming in: the plug-in must never judge its own requests.
  int set_up = for_sending ? refuse_all_frames(handle) : pcap_setdirection(handle, PCAP_D_IN);
  if (set_up == 0 && !for_sending) set_up = only_judged_frames(handle);
  if (set_up != 0) {
    im.set_error("cannot set up capture on " + iface + ": " + pcap_geterr(handle));
    return close_failed(handle);
  }
  return 0;
}

// The file is read by the capture thread alone: its stream needs no lock,
// which the C library would otherwise take twice per frame once the process
// has threads.
int HWinPCapHelper::Impl::Native::open_replay(Impl& im) {
  const std::string& path = im.str_file;
  if (p_checked != nullptr && str_checked_file == path) {
    p_capture = p_checked;
    p_checked = nullptr;
    return 0;
  }
  close(p_checked);
  char errbuf[PCAP_ERRBUF_SIZE] = {0};
  FILE* file = open_capture_file(path);
  if (file == nullptr) {
    im.set_error("cannot read capture file " + path + ": " + std::strerror(errno));
    return -1;
  }
  __fsetlocking(file, FSETLOCKING_BYCALLER);
  if (!up_replay_buffer) up_replay_buffer.reset(new char[kReplayBufferBytes]);
  std::setvbuf(file, up_replay_buffer.get(), _IOFBF, kReplayBufferBytes);
  p_capture = pcap_fopen_offline(file, errbuf);
  if (p_capture == nullptr) {
    std::fclose(file);
    im.set_error("cannot read capture file " + path + ": " + errbuf);
    return -1;
  }
  if (pcap_datalink(p_capture) != DLT_EN10MB) {
    im.set_error("capture file " + path + " does not hold Ethernet frames");
    return close_failed(p_capture);
  }
  return 0;
}

// The file of sent frames is a pcap file written here, one write per frame:
// a full disk leaves whole frames only. It lives in the home, so it is
// opened as the home's files are.
int HWinPCapHelper::Impl::open_sent_dump() {
  Native& native = *p_native;
  pcap_file_header header{};
  header.magic = 0xa1b2c3d4;
  header.version_major = PCAP_VERSION_MAJOR;
  header.version_minor = PCAP_VERSION_MINOR;
  header.snaplen = MAX_SEND_LEN;
  header.linktype = DLT_EN10MB;
  native.i_sent_fd = HHomeDir::open_file(str_sent_file, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND);
  if (native.i_sent_fd < 0 || HHomeDir::append_whole(native.i_sent_fd, &header, sizeof(header)) != 0) {
    set_error("cannot write " + str_sent_file + ": " + std::strerror(errno));
    if (native.i_sent_fd >= 0) ::close(native.i_sent_fd);
    native.i_sent_fd = -1;
    return -1;
  }
  return 0;
}

void HWinPCapHelper::Impl::Native::poll_drops(Impl& im, Clock::time_point& next_poll) {
  Clock::time_point now = Clock::now();
  if (now < next_poll) return;
  next_poll = now + DROP_POLL;
  pcap_stat counters{};
  if (pcap_stats(p_capture, &counters) == 0) {
    im.ull_dropped.store(static_cast<uint64_t>(counters.ps_drop) + counters.ps_ifdrop);
  }
}

void HWinPCapHelper::Impl::Native::run_live(Impl& im, const std::string& iface) {
  auto handler = [](u_char* user, const pcap_pkthdr* header, const u_char* bytes) {
    deliver_one(*reinterpret_cast<Delivery*>(user), bytes, static_cast<int>(header->caplen));
  };
  Clock::time_point next_poll = Clock::now();
  HFileLog::Batch log_batch;
  Clock::time_point next_flush = Clock::now() + LOG_FLUSH_INTERVAL;
  while (!im.b_stop.load()) {
    Delivery batch = im.begin_delivery();
    int n = pcap_dispatch(p_capture, -1, handler, reinterpret_cast<u_char*>(&batch));
    im.end_delivery(batch);
    Clock::time_point now = Clock::now();
    if (n <= 0 || now >= next_flush) {
      log_batch.flush();
      next_flush = now + LOG_FLUSH_INTERVAL;
    }
    if (n == PCAP_ERROR) {
      im.set_error("capture on " + iface + " failed: " + pcap_geterr(p_capture));
      log_line(1, __LINE__, im.error());
      break;
    }
    poll_drops(im, next_poll);
  }
  poll_drops(im, next_poll = Clock::now());
}

void HWinPCapHelper::Impl::Native::replay_paced(Impl& im, const std::string& file, double speed) {
  HReplayPacer pacer(speed, im.d_longest_gap_s);
  Clock::time_point wall_start = Clock::now();
  pcap_pkthdr* header = nullptr;
  const u_char* bytes = nullptr;
  while (!im.b_stop.load()) {
    int status = pcap_next_ex(p_capture, &header, &bytes);
    if (status == PCAP_ERROR_BREAK) break;  // end of the file
    if (status != 1) {
      im.fail_replay(file, pcap_geterr(p_capture));
      break;
    }
    double ts = seconds_of(header->ts);
    Clock::duration due = pacer.due(ts);
    if (pacer.first_cut()) im.note_gap_cut(file, pacer.gap_cut_s());
    if (!im.wait_until(wall_start + due)) break;
    im.d_replay_ts.store(ts, std::memory_order_relaxed);
    im.mark_replay_wall();
    im.dispatch(bytes, static_cast<int>(header->caplen));
  }
}

// The file is read ahead on a thread of its own while this thread runs the
// callbacks. Frames go out in chunks. A frame sent meanwhile is stamped
// from the chunk's start, so it may sort a little late among the replayed
// frames, never before the frame that caused it.
void HWinPCapHelper::Impl::Native::replay_at_full_speed(Impl& im, const std::string& file) {
  pcap_t* capture = p_capture;
  HReplayReadAhead reader(
      [capture](double& ts, const unsigned char*& bytes, int& len) {
        pcap_pkthdr* header = nullptr;
        int status = pcap_next_ex(capture, &header, &bytes);
        if (status == PCAP_ERROR_BREAK) return 0;  // end of the file
        if (status != 1) return -1;
        ts = seconds_of(header->ts);
        len = static_cast<int>(header->caplen);
        return 1;
      },
      REPLAY_BATCH_FRAMES);
  reader.start();
  HFileLog::Batch log_batch;
  Clock::time_point next_flush = Clock::now() + LOG_FLUSH_INTERVAL;
  while (!im.b_stop.load()) {
    HReplayReadAhead::Chunk* chunk = reader.take();
    if (chunk == nullptr) break;
    Clock::time_point now = im.mark_replay_wall();
    if (now >= next_flush) {
      log_batch.flush();
      next_flush = now + LOG_FLUSH_INTERVAL;
    }
    Delivery batch = im.begin_delivery();
    for (const HReplayReadAhead::Frame& frame : chunk->frames) {
      im.d_replay_ts.store(frame.ts, std::memory_order_relaxed);
      deliver_one(batch, chunk->bytes(frame), frame.len);
    }
    im.end_delivery(batch);
    reader.give_back(chunk);
  }
  reader.stop();
  if (reader.failed()) im.fail_replay(file, pcap_geterr(p_capture));
}

// The record header and the frame in one write; a failure is said once,
// until a frame is written again.
int HWinPCapHelper::Impl::Native::write_sent(Impl& im, const unsigned char* frame, int length) {
  if (i_sent_fd < 0) return -1;
  timeval ts{};
  double replay_time = im.replay_send_time();
  if (replay_time > 0) {
    ts = timeval_of(replay_time);
  } else {
    gettimeofday(&ts, nullptr);
  }
  uint32_t header[4] = {static_cast<uint32_t>(ts.tv_sec), static_cast<uint32_t>(ts.tv_usec),
                        static_cast<uint32_t>(length), static_cast<uint32_t>(length)};
  std::string record(reinterpret_cast<const char*>(header), sizeof(header));
  record.append(reinterpret_cast<const char*>(frame), static_cast<size_t>(length));
  if (HHomeDir::append_whole(i_sent_fd, record.data(), record.size()) != 0) {
    int error = errno;
    if (HHomeDir::note_failure(im.str_sent_file, error)) {
      HFileLog::ins().log(1, L"HCaptureSource", __LINE__, L"cannot write %S: %S", im.str_sent_file.c_str(),
                          std::strerror(error));
    }
    return -1;
  }
  HHomeDir::note_success(im.str_sent_file);
  return 0;
}

int HWinPCapHelper::Impl::write_frame(const unsigned char* frame, int length) {
  Native& native = *p_native;
  if (b_send_to_file) return native.write_sent(*this, frame, length);
  if (native.p_send == nullptr) return -1;
  return pcap_inject(native.p_send, frame, static_cast<size_t>(length)) == length ? 0 : -1;
}
