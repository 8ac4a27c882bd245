#pragma once
// The agent's capture helper over libpcap. Callbacks receive frames whose
// ethertype (bytes 12-13) equals their filter. A frame with an 802.1Q tag of
// VLAN 0 (priority only) is handed on without its tag, as the kernel takes
// it; one of another VLAN is not this interface's and is only counted. The
// source is a live interface (incoming frames only) or a pcap file replayed
// at its own pace; sent frames go to the wire, or in replay into a pcap file.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/HArpNode.h"

class HWPCCallback {
 public:
  virtual ~HWPCCallback() = default;
  virtual int on_packet(const unsigned char* frame, int len) = 0;
  uint16_t us_filter = 0;  // ethertype in network byte order
};

struct HCaptureStats {
  uint64_t frames_read = 0;
  uint64_t frames_delivered = 0;
  uint64_t frames_dropped = 0;  // by the capture (kernel or pcap)
  uint64_t frames_short = 0;    // shorter than an Ethernet header (or its tag), never delivered
  uint64_t frames_queue_dropped = 0;  // taken by a callback, then dropped by its full queue
  // Frames that the plug-in does not judge, because the host ignores them.
  uint64_t frames_other_vlan = 0;  // tagged with a VLAN other than 0
  uint64_t frames_bad_dhcp = 0;    // UDP 67 -> 68 or IPv4 headers that do not fit, fragments
  uint64_t frames_not_dhcp = 0;    // IPv4 but no UDP from port 67 to port 68
  uint64_t frames_bad_arp = 0;     // not an ARP header for IPv4 over Ethernet
  uint64_t frames_bad_ipv6 = 0;    // IPv6 neighbour discovery or DHCPv6 that does not fit
  uint64_t frames_sent = 0;
  uint64_t claims_not_judged_at_stop = 0;  // still in the plug-in's queue when the agent stopped
  double seconds = 0;
};

class HWinPCapHelper {
 public:
  static HWinPCapHelper& instance();
  // The capture library's own version line ("libpcap version 1.10.3 ...").
  static std::string library_version();

  unsigned char b_load = 0;
  unsigned char b_arp = 0;
  unsigned char b_dhcp = 0;

  int add_callback(HWPCCallback* callback);
  int load_dll();
  int init();
  int start();
  // Builds a 60-byte ARP frame from the node (Ethernet destination: the
  // target MAC, or broadcast when it is empty or zero) and sends it.
  int send_arp(const HArpNode& node, bool reserved);
  int send_packet(const unsigned char* frame, int length);

  // Agent side.
  void set_live(const std::string& iface);
  // "-" reads standard input. A paced replay waits at most `longest_gap_s`
  // for one gap between two frames.
  void set_replay(const std::string& pcap_file, double speed /* 0 = max */, const std::string& sent_file,
                  double longest_gap_s = 5);
  void stop();
  // Opens the configured source and closes it again, so that the agent can
  // fail early (no capability, no such file). 0, or -1 with last_error().
  int check_source();
  bool is_started() const;
  // The source is a live interface (not a replay, nor none configured).
  bool is_live() const;
  // Replay: true once the last frame was delivered (or the file failed).
  bool replay_done() const { return b_replay_done.load(); }
  HCaptureStats stats() const;
  std::string last_error() const;
  // Why the replayed file could not be read to its end, with the frames
  // read before; empty when it was (or while it is read).
  std::string replay_damage() const;
  // A callback that queues frames for a worker counts here each one that
  // its full queue had to drop.
  void count_queue_drop();
  // A callback counts here each frame that it leaves unjudged. Only the
  // capture thread runs the callbacks: each counter has one writer, and a
  // replay may count every other frame, so no locked instruction is used.
  enum class NotJudged { bad_dhcp, not_dhcp, bad_arp, bad_ipv6, kinds };
  void count_not_judged(NotJudged why) {
    std::atomic<uint64_t>& counter = ull_not_judged[static_cast<int>(why)];
    counter.store(counter.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
  }

  // The plug-in tells at stop how many claims it took but never judged.
  void note_claims_not_judged_at_stop(uint64_t count) { ull_claims_left.store(count); }

  // Test seams: every sent frame goes to the sink instead of the wire, and
  // frames can be fed to the callbacks directly.
  void set_send_sink(std::function<void(const unsigned char*, int)> sink);
  void deliver(const unsigned char* frame, int len);
  void reset_for_test();

 private:
  HWinPCapHelper();
  struct Impl;

  std::atomic<bool> b_replay_done{false};
  std::atomic<uint64_t> ull_not_judged[static_cast<int>(NotJudged::kinds)] = {};
  std::atomic<uint64_t> ull_claims_left{0};
  Impl* p_impl;  // never freed: the capture thread may outlive main()
};
