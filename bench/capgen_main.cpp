// tidewell-capgen --out FILE.pcap [--config FILE.json] [--frames N] [--seed S]
//                 [--hosts N] [--interval-us U] [--offers-without-address N]
//                 [--mode 1|2] [--arp-only]
//
// Writes a deterministic Ethernet capture of the benchmark segment (see
// FrameMix.h for the mix) and, with --config, the agent config whose
// virtual host is the segment's guarded host. Prints the frames per kind.
// Exit codes: 0 written, 1 write error, 2 bad usage.
#include <pcap/pcap.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "bench/BenchSegment.h"
#include "bench/FrameMix.h"

namespace {

constexpr uint64_t kMaxFrames = 100000000;
constexpr uint64_t kStartUs = 1767225600ull * 1000000;  // 2026-01-01 00:00:00 UTC
constexpr int kSnapLen = 65535;

struct Options {
  std::string out;
  std::string config;
  uint64_t frames = 1000000;
  uint64_t seed = 7;
  uint64_t hosts = BenchSegment::kDefaultHosts;
  uint64_t interval_us = 10;
  uint64_t addressless = 0;
  uint64_t mode = 1;
  bool arp_only = false;
};

int usage(const std::string& why) {
  std::fprintf(stderr,
               "tidewell-capgen: %s\nusage: tidewell-capgen --out FILE.pcap [--config FILE.json] [--frames N] "
               "[--seed S] [--hosts N] [--interval-us U] [--offers-without-address N] [--mode 1|2] [--arp-only]\n",
               why.c_str());
  return 2;
}

bool number(const char* text, uint64_t low, uint64_t high, uint64_t& out) {
  if (!text || !*text) return false;
  char* end = nullptr;
  unsigned long long v = std::strtoull(text, &end, 10);
  if (*end != '\0' || text[0] == '-' || v < low || v > high) return false;
  out = v;
  return true;
}

int parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    if (name == "--arp-only") {
      o.arp_only = true;
      continue;
    }
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    bool ok = value != nullptr;
    if (name == "--out" && ok) o.out = value;
    else if (name == "--config" && ok) o.config = value;
    else if (name == "--frames") ok = ok && number(value, 1, kMaxFrames, o.frames);
    else if (name == "--seed") ok = ok && number(value, 0, UINT64_MAX, o.seed);
    else if (name == "--hosts") ok = ok && number(value, 1, BenchSegment::kMaxHosts, o.hosts);
    else if (name == "--interval-us") ok = ok && number(value, 1, 1000000, o.interval_us);
    else if (name == "--offers-without-address") ok = ok && number(value, 0, 1000000, o.addressless);
    else if (name == "--mode") ok = ok && number(value, 1, 2, o.mode);
    else return usage("unknown option " + name);
    if (!ok) return usage("bad or missing value for " + name);
    ++i;
  }
  if (o.out.empty()) return usage("--out is required");
  return 0;
}

int write_config(const Options& o, const BenchSegment& seg) {
  const std::string gw_ip = BenchSegment::ip_text(seg.gateway().ip);
  const std::string gw_mac = BenchSegment::mac_text(seg.gateway().mac);
  std::ofstream out(o.config);
  out << "{\n"
      << "  \"policy\": [ {\"strPolicyID\": \"bench\", \"iStateMask\": 1, \"iAntiARPSpoofing\": " << o.mode
      << ", \"strBindList\": \"" << gw_ip << "-" << gw_mac << "\", \"iAntiDHCPSpoofing\": 1, \"iAutoBind\": "
      << (o.mode == 2 ? 1 : 0) << ", \"alarm_msg\": \"benchmark policy\"} ],\n"
      << "  \"agent\": {\"online\": true, \"state\": 1, \"core_accepts\": true, \"heartbeat_s\": 30},\n"
      << "  \"host\": {\"main_ip\": \"" << BenchSegment::ip_text(seg.guarded().ip) << "\", \"main_mac\": \""
      << BenchSegment::mac_text(seg.guarded().mac) << "\",\n"
      << "           \"adapters\": [ {\"name\": \"eth0\", \"gateways\": [\"" << gw_ip << "\"]} ],\n"
      << "           \"arp_table\": [ {\"ip\": \"" << gw_ip << "\", \"mac\": \"" << gw_mac
      << "\", \"type\": \"dynamic\", \"index\": 1} ]}\n"
      << "}\n";
  out.close();
  return out ? 0 : -1;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (int rc = parse(argc, argv, o)) return rc;
  BenchSegment seg(static_cast<size_t>(o.hosts));
  // libpcap writes the file, in the form it reads: Ethernet, microseconds.
  pcap_t* dead = pcap_open_dead(DLT_EN10MB, kSnapLen);
  pcap_dumper_t* writer = dead ? pcap_dump_open(dead, o.out.c_str()) : nullptr;
  if (!writer) {
    std::fprintf(stderr, "tidewell-capgen: cannot write %s\n", o.out.c_str());
    return 1;
  }
  FrameMix mix(seg, o.seed, o.frames, o.addressless, o.arp_only);
  uint64_t per_kind[FrameMix::kKinds] = {};
  BenchSegment::Frame frame;
  FrameMix::Kind kind;
  uint64_t bytes = 0;
  for (uint64_t i = 0; mix.next(frame, kind); ++i) {
    const uint64_t ts_us = kStartUs + i * o.interval_us;
    pcap_pkthdr header{};
    header.ts.tv_sec = static_cast<time_t>(ts_us / 1000000);
    header.ts.tv_usec = static_cast<suseconds_t>(ts_us % 1000000);
    header.caplen = header.len = static_cast<bpf_u_int32>(frame.size());
    pcap_dump(reinterpret_cast<u_char*>(writer), &header, frame.data());
    ++per_kind[kind];
    bytes += frame.size();
  }
  bool written = pcap_dump_flush(writer) == 0 && !std::ferror(pcap_dump_file(writer));
  pcap_dump_close(writer);
  pcap_close(dead);
  if (!written) {
    std::fprintf(stderr, "tidewell-capgen: write error on %s\n", o.out.c_str());
    return 1;
  }
  if (!o.config.empty() && write_config(o, seg) != 0) {
    std::fprintf(stderr, "tidewell-capgen: cannot write %s\n", o.config.c_str());
    return 1;
  }
  std::printf("tidewell-capgen: %llu frames, %llu bytes, seed %llu, %llu hosts -> %s\n",
              static_cast<unsigned long long>(mix.produced()), static_cast<unsigned long long>(bytes),
              static_cast<unsigned long long>(o.seed), static_cast<unsigned long long>(o.hosts), o.out.c_str());
  for (int k = 0; k < FrameMix::kKinds; ++k) {
    std::printf("  %-22s %llu\n", FrameMix::kind_name(static_cast<FrameMix::Kind>(k)),
                static_cast<unsigned long long>(per_kind[k]));
  }
  return 0;
}
