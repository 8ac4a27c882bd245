#pragma once
// The deterministic traffic of the benchmark captures: the same seed gives
// the same frames, byte for byte. Per thousand frames, on average:
//   480 ARP requests among the hosts (a tenth for the gateway, a twentieth
//       for the guarded host),
//   150 ARP replies of the hosts to the guarded host,
//    40 ARP frames of the real gateway (requests and replies to the host),
//    20 spoofed gateway claims (replies to the host from one of the spoofers),
//    10 unicast DHCP offers to the host (a fifth from the rogue server),
//    10 broadcast DHCP offers,
//     5 unicast DHCP offers of the rogue server that assign no address
//       (each an attack report; repeats of the same report are held back),
//   285 other IPv4 frames (UDP and TCP, 60 to 1514 bytes).
// More offers without address can be asked for, at even intervals. With
// `arp_only` the mix keeps its four ARP kinds in the same proportions and
// nothing else.
#include <cstdint>

#include "bench/BenchSegment.h"

class FrameMix {
 public:
  enum Kind {
    kArpAmongHosts,
    kArpReplyToHost,
    kGatewayArp,
    kSpoofedGateway,
    kOfferUnicast,
    kOfferBroadcast,
    kOtherIpv4,
    kOfferWithoutAddress,
    kKinds
  };

  FrameMix(const BenchSegment& segment, uint64_t seed, uint64_t frames, uint64_t offers_without_address,
           bool arp_only = false);

  // The next frame and its kind; false after the last one.
  bool next(BenchSegment::Frame& frame, Kind& kind);
  uint64_t produced() const { return ull_produced; }
  static const char* kind_name(Kind kind);

 private:
  uint64_t random();
  size_t below(size_t n) { return static_cast<size_t>(random() % n); }
  Kind pick_kind();
  BenchSegment::Frame make(Kind kind);
  BenchSegment::Frame arp_among_hosts();
  BenchSegment::Frame gateway_arp();
  BenchSegment::Frame offer(bool broadcast);
  BenchSegment::Frame other_ipv4();

  const BenchSegment& seg;
  uint64_t ull_state;
  uint64_t ull_frames;
  uint64_t ull_produced = 0;
  uint64_t ull_addressless_every = 0;  // 0: none
  bool b_arp_only = false;
};
