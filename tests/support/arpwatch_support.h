#pragma once
// Helpers for the ARP watch tests: ARP frames built from text addresses, a
// recording agent core, a recording wire, a settable tick counter and a
// fresh agent home with a virtual host, policy and in-memory ARP table.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/ARPSpoofingReport_Local.h"
#include "host/AntiARPSpoofing_Local.h"
#include "platform/MemoryArpTable.h"
#include "platform/WinTypes.h"

namespace arpwatch_test {

typedef std::vector<unsigned char> Bytes;

// The virtual host and its segment.
extern const char kHostIp[];
extern const char kHostMac[];
extern const char kGatewayIp[];
extern const char kGatewayMac[];
extern const char kSpooferMac[];

Bytes mac_bytes(const std::string& mac);
Bytes ip_bytes(const std::string& ip);

struct ArpFields {
  uint16_t op = 2;
  std::string eth_dst = kHostMac;
  std::string eth_src;  // empty: the sender MAC
  std::string sender_mac;
  std::string sender_ip;
  std::string target_mac = kHostMac;
  std::string target_ip = kHostIp;
};
// An Ethernet II ARP frame of `length` bytes (42 = no padding); padding is
// zero. Shorter lengths cut the frame.
Bytes arp_frame(const ArpFields& fields, size_t length = 60);
// A 60-byte frame whose padding is the probe marker.
Bytes marked_frame(const ArpFields& fields);
// The request the probe thread must send to `old_mac` for `ip`.
Bytes expected_request(const std::string& ip, const std::string& old_mac);
std::string hex(const Bytes& bytes);

// Stands in for the agent core: accepts every block and keeps the reports
// (empty blocks are not kept).
class CoreRecorder {
 public:
  CoreRecorder();
  ~CoreRecorder();
  std::vector<ARPSpoofingReport_Local> reports();

 private:
  std::mutex mtx_reports;
  std::vector<ARPSpoofingReport_Local> vt_reports;
};

// Every frame the plug-in sends lands here instead of on the wire.
class SentFrames {
 public:
  SentFrames();
  ~SentFrames();
  std::vector<Bytes> frames();
  size_t count();
  void clear();

 private:
  std::mutex mtx_frames;
  std::vector<Bytes> vt_frames;
};

// GetTickCount answers what the test says.
class FakeTicks {
 public:
  explicit FakeTicks(DWORD start);
  ~FakeTicks();
  void set(DWORD now);
  void advance(DWORD ms);
  DWORD now();

 private:
  std::mutex mtx_now;
  DWORD dw_now;
};

struct PolicySetup {
  int32_t mode = 1;  // iAntiARPSpoofing
  int32_t state_mask = 1;
  uint32_t state_word = 1;
  int32_t auto_bind = 0;
  std::string bind_list;
};

// A temporary agent home with the virtual host (kHostIp/kHostMac), one
// adapter whose gateway is kGatewayIp, an in-memory ARP table, the policy,
// and the audit store opened. The home goes on destruction; the ARP table
// and the plug-in's long-lived objects stay until the process ends.
class WatchEnv {
 public:
  explicit WatchEnv(const PolicySetup& policy = PolicySetup());
  ~WatchEnv();
  const std::string& home() const { return str_home; }
  platform::MemoryArpTable& arp_table() { return *p_arp_table; }
  // The general log as written so far.
  std::string general_log() const;

 private:
  std::string str_home;
  // Outlives the test: the guard's refresher keeps reading it.
  platform::MemoryArpTable* p_arp_table = new platform::MemoryArpTable();
};

std::string narrow(const HString& text);
std::string read_file(const std::string& path);
size_t count_of(const std::string& haystack, const std::string& needle);

}  // namespace arpwatch_test
