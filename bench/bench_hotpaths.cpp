// Micro-benchmarks of the plug-in's hot paths, on frames of the benchmark
// segment: the ARP callback per frame, the DHCP callback per offer (and per
// other IPv4 frame), the guard's judgement per claim, the attack-log write
// per line, and the audit store's report with 300 entries queued.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "arpguard/HThreadTidewell.h"
#include "arpwatch/HTWPkgCallback.h"
#include "bench/BenchPlugin.h"
#include "bench/BenchSegment.h"
#include "bench/FrameMix.h"
#include "dhcpguard/HDhcpAttackCallback.h"
#include "frame/AttackLog.h"
#include "frame/HAuditReportMgr.h"
#include "frame/HPTWGlobal.h"
#include "host/HDataCenter.h"
#include "host/HFileLog.h"
#include "host/HNetworkProtocolUtil.h"

namespace {

constexpr size_t kRing = 4096;      // frames cycled through by a benchmark
constexpr int kBatchFrames = 256;   // as the capture helper's batches
constexpr uint64_t kSeed = 7;
// As the capture helper, a batch's log lines are written every 20 ms.
constexpr auto kFlushInterval = std::chrono::milliseconds(20);

// Flushes `batch` when the interval has passed; looked at once per batch of
// frames, like the helper.
void flush_now_and_then(HFileLog::Batch& batch, std::chrono::steady_clock::time_point& next) {
  auto now = std::chrono::steady_clock::now();
  if (now < next) return;
  batch.flush();
  next = now + kFlushInterval;
}

const BenchSegment& segment() {
  static const BenchSegment* seg = new BenchSegment();
  return *seg;
}

// The plug-in, started once for the whole run.
BenchPlugin& plugin() {
  static BenchPlugin* p = new BenchPlugin(segment(), 1);
  return *p;
}

// Frames of the given kinds, in the order of the benchmark mix.
std::vector<BenchSegment::Frame> frames_of(std::initializer_list<FrameMix::Kind> kinds, size_t count) {
  std::vector<BenchSegment::Frame> out;
  FrameMix mix(segment(), kSeed, UINT64_MAX, 0);
  BenchSegment::Frame frame;
  FrameMix::Kind kind;
  while (out.size() < count && mix.next(frame, kind)) {
    for (FrameMix::Kind wanted : kinds) {
      if (kind == wanted) {
        out.push_back(frame);
        break;
      }
    }
  }
  return out;
}

std::vector<BenchSegment::Frame> arp_frames() {
  return frames_of({FrameMix::kArpAmongHosts, FrameMix::kArpReplyToHost, FrameMix::kGatewayArp,
                    FrameMix::kSpoofedGateway},
                   kRing);
}

void deliver(HWPCCallback* callback, const std::vector<BenchSegment::Frame>& frames, benchmark::State& state,
             bool batched) {
  HFileLog::Batch* batch = batched ? new HFileLog::Batch : nullptr;
  auto next_flush = std::chrono::steady_clock::now() + kFlushInterval;
  size_t i = 0;
  for (auto _ : state) {
    const BenchSegment::Frame& f = frames[i++ % frames.size()];
    benchmark::DoNotOptimize(callback->on_packet(f.data(), static_cast<int>(f.size())));
    if (batch && i % kBatchFrames == 0) flush_now_and_then(*batch, next_flush);
  }
  delete batch;
  state.SetItemsProcessed(state.iterations());
}

// Every ARP frame: the probe-marker test, the DHCP probe's sender check with
// its attack-log line, and for a fifth of them the guard's queue. The guard
// thread runs and drains the queue meanwhile.
void BM_ArpCallbackPerFrame(benchmark::State& state) {
  plugin();
  static const std::vector<BenchSegment::Frame> frames = arp_frames();
  deliver(HPTWGlobal::ins().p_arp_callback, frames, state, state.range(0) != 0);
}
BENCHMARK(BM_ArpCallbackPerFrame)->ArgName("batched")->Arg(1)->Arg(0);

// The rogue server names a gateway that never answers: its offers would
// end in alarm windows.
std::vector<BenchSegment::Frame> real_server_offers() {
  std::vector<BenchSegment::Frame> out;
  for (const BenchSegment::Frame& f : frames_of({FrameMix::kOfferUnicast}, 256)) {
    if (std::memcmp(f.data() + 6, segment().dhcp_server().mac, 6) == 0) out.push_back(f);
  }
  return out;
}

// A unicast offer: judged, written to the attack log, its gateway queued for
// the probe (once; later offers find it pending). The gateway answers now
// and then, as it would, so that no alarm is raised.
void BM_DhcpCallbackPerOffer(benchmark::State& state) {
  plugin();
  static const std::vector<BenchSegment::Frame> offers = real_server_offers();
  HDhcpAttackCallback* dhcp = HPTWGlobal::ins().p_dhcp_callback;
  unsigned char gw_bytes[4];
  uint32_t gw = segment().gateway().ip;
  for (int i = 0; i < 4; ++i) gw_bytes[i] = static_cast<unsigned char>(gw >> (24 - 8 * i));
  uint32_t gw_wire = 0;
  std::memcpy(&gw_wire, gw_bytes, 4);
  HFileLog::Batch batch;
  auto next_flush = std::chrono::steady_clock::now() + kFlushInterval;
  size_t i = 0;
  for (auto _ : state) {
    const BenchSegment::Frame& f = offers[i++ % offers.size()];
    dhcp->on_packet(f.data(), static_cast<int>(f.size()));
    if (i % kBatchFrames == 0) {
      flush_now_and_then(batch, next_flush);
      state.PauseTiming();
      dhcp->test_gateway.check_arp_sender(gw_wire);
      state.ResumeTiming();
    }
  }
  dhcp->test_gateway.check_arp_sender(gw_wire);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DhcpCallbackPerOffer);

// The other IPv4 frames reach the same callback and must cost next to nothing.
void BM_DhcpCallbackPerOtherIpv4(benchmark::State& state) {
  plugin();
  static const std::vector<BenchSegment::Frame> frames = frames_of({FrameMix::kOtherIpv4}, kRing);
  deliver(HPTWGlobal::ins().p_dhcp_callback, frames, state, true);
}
BENCHMARK(BM_DhcpCallbackPerOtherIpv4);

std::vector<HArpNode> claims_of(FrameMix::Kind kind) {
  std::vector<HArpNode> nodes;
  for (const BenchSegment::Frame& f : frames_of({kind}, kRing)) {
    HArpNode node;
    HNetworkProtocolUtil::MakeArpNode(f.data() + 14, node);
    nodes.push_back(node);
  }
  return nodes;
}

// One claim addressed to the host: a host repeating its learned MAC (the
// common case), or a spoofer claiming the gateway (a change item for the
// attack-log filter and the probe thread).
void BM_GuardJudgementPerClaim(benchmark::State& state) {
  plugin();
  static const std::vector<HArpNode> repeats = claims_of(FrameMix::kArpReplyToHost);
  static const std::vector<HArpNode> spoofed = claims_of(FrameMix::kSpoofedGateway);
  const std::vector<HArpNode>& claims = state.range(0) ? spoofed : repeats;
  HThreadTidewell* guard = HPTWGlobal::ins().p_thread_tidewell;
  for (const HArpNode& node : claims) guard->check_arp_node(node);  // learned once
  size_t i = 0;
  for (auto _ : state) guard->check_arp_node(claims[i++ % claims.size()]);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GuardJudgementPerClaim)->ArgName("spoofed")->Arg(0)->Arg(1);

// One attack-log line as the DHCP probe writes it for every ARP frame: as a
// wide text (HString) and as plain bytes, each alone and in a batch written
// every 20 ms (whose lines mostly fill files that roll over before that).
void BM_AttackLogWritePerLine(benchmark::State& state) {
  plugin();
  const bool plain = state.range(0) != 0;
  HFileLog::Batch* batch = state.range(1) ? new HFileLog::Batch : nullptr;
  const std::string text = "Recieve an Arp packet from 10.77.1.123, GetTickCount: 123456789";
  const HString wide(text);
  auto next_flush = std::chrono::steady_clock::now() + kFlushInterval;
  size_t i = 0;
  for (auto _ : state) {
    if (plain) {
      write_attack_log(text.data(), text.size());
    } else {
      write_attack_log(wide);
    }
    if (batch && ++i % kBatchFrames == 0) flush_now_and_then(*batch, next_flush);
  }
  delete batch;
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AttackLogWritePerLine)->ArgNames({"plain", "batched"})->Args({0, 0})->Args({1, 0})->Args({1, 1});

// The DHCP probe's part of an ARP frame alone (its attack-log line and the
// pending check), without the guard's queue, over ever new senders and ticks.
void BM_ArpSenderCheckPerFrame(benchmark::State& state) {
  plugin();
  HTestDhcpGateway& probe = HPTWGlobal::ins().p_dhcp_callback->test_gateway;
  HFileLog::Batch batch;
  auto next_flush = std::chrono::steady_clock::now() + kFlushInterval;
  uint32_t sender = 0x0a4d0001;
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(probe.check_arp_sender(sender + (i & 0xffff)));
    if (++i % kBatchFrames == 0) flush_now_and_then(batch, next_flush);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ArpSenderCheckPerFrame);

ReportVector one_report(int n) {
  ARPSpoofingReport_Local record;
  record.strPolicyID = L"bench";
  record.iAttackType = 1;
  record.str_desc = L"AntiARP_RP_ARP";
  record.mapDesc[L"mac"] = HString(L"02:77:66:00:00:0") + HString(static_cast<unsigned long>(n % 4));
  return ReportVector(1, record);
}

// The core refuses: every report joins the full queue of 300, the oldest
// entry leaves, and the archive is rewritten.
void BM_AuditStoreReport300(benchmark::State& state) {
  plugin();
  HDataCenter::set_core_accepts(false);
  HAuditReportMgr store;
  store.init(L"NetSecurity", L"AntiARPSpoofing", HString(plugin().home() + "/arc_file/bench_store"), 173, 300);
  for (int i = 0; i < 300; ++i) {
    ReportVector entry = one_report(i);
    store.report(&entry);
  }
  int n = 0;
  for (auto _ : state) {
    ReportVector entry = one_report(++n);
    store.report(&entry);
  }
  state.counters["queued"] = static_cast<double>(store.queued());
  state.SetItemsProcessed(state.iterations());
  HDataCenter::set_core_accepts(true);
}
BENCHMARK(BM_AuditStoreReport300)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
