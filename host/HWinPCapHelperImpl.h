#pragma once
// The capture helper's state, shared by its system-neutral part
// (HWinPCapHelper.cpp: callbacks, delivery, counters, sending, summary) and
// the capture source each system has of its own (HCaptureSource.cpp: libpcap
// on Linux, pcap files read without libpcap on Windows).
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/HWinPCapHelper.h"

struct HWinPCapHelper::Impl {
  using Clock = std::chrono::steady_clock;
  using CallbackList = std::vector<HWPCCallback*>;
  enum class Source { none, live, replay };
  static constexpr int MAX_SEND_LEN = 65535;

  // One batch of frames on the capture thread: the callbacks it uses and
  // its counts, added to the shared counters when it ends.
  struct Delivery {
    Impl* p_impl = nullptr;
    std::shared_ptr<const CallbackList> sp_list;
    uint64_t ull_read = 0;
    uint64_t ull_delivered = 0;
    uint64_t ull_short = 0;
    uint64_t ull_other_vlan = 0;
    // A priority-tagged frame without its tag, handed to the callbacks.
    std::vector<unsigned char> vt_untagged;
  };

  // The system's handles: capture, sending, the file of sent frames.
  struct Native;

  Impl();

  // Configuration and the capture thread.
  mutable std::mutex mtx_state;
  Source source = Source::none;
  std::string str_iface;
  std::string str_file;
  std::string str_sent_file;
  double d_speed = 0;
  double d_longest_gap_s = 5;
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

  // Sending: under mtx_send, as are the system's send handles.
  std::mutex mtx_send;
  std::function<void(const unsigned char*, int)> send_sink;
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
  std::atomic<uint64_t> ull_dropped{0};  // by the capture; a file drops nothing
  std::atomic<uint64_t> ull_queue_dropped{0};
  std::atomic<uint64_t> ull_other_vlan{0};

  Native* p_native;  // never freed, as the helper itself

  static void log_line(int level, int line, const std::string& text);
  void set_error(const std::string& text);
  std::string error() const;
  std::shared_ptr<const CallbackList> callbacks();

  void dispatch(const unsigned char* frame, int len);
  Delivery begin_delivery();
  static void deliver_one(Delivery& batch, const unsigned char* frame, int len);
  void end_delivery(Delivery& batch);
  Clock::time_point mark_replay_wall();
  bool wait_until(Clock::time_point when);
  void end_replay(const std::string& file, std::atomic<bool>& done);
  // The replayed file cannot be read on: says why, after how many frames.
  void fail_replay(const std::string& file, const std::string& why);
  // A paced replay cut a gap of its capture to the longest wait: said once.
  void note_gap_cut(const std::string& file, double gap_s);
  std::string replay_damage() const;
  void clear_replay_damage();
  // The time to stamp a sent frame with on the replay's own time line, so
  // that it sorts among the replayed frames it answers; 0 outside a replay.
  // Called under mtx_send.
  double replay_send_time() const;
  // Opens the replay's file of sent frames, where one is configured.
  int open_sent_file();

  // Each system's own.
  int load_library();
  bool is_open() const;
  // Opens the configured source (not none) and closes it again.
  int probe_source();
  // Opens the configured source (not none) for capture and sending.
  int open_source();
  void run(Source what, const std::string& name, double speed, std::atomic<bool>& done);
  // Wakes a capture thread that waits for frames.
  void break_loop();
  void close_handles();
  // Under mtx_send.
  int open_sent_dump();
  bool sent_file_open() const;
  int write_frame(const unsigned char* frame, int length);

 private:
  mutable std::mutex mtx_error;
  std::string str_error_shared;
  std::string str_replay_damage;
};
