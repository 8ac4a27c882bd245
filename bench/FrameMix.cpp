#include "bench/FrameMix.h"

namespace {

struct Share {
  FrameMix::Kind kind;
  unsigned per_mille;
};

const Share kShares[] = {
    {FrameMix::kArpAmongHosts, 480}, {FrameMix::kArpReplyToHost, 150}, {FrameMix::kGatewayArp, 40},
    {FrameMix::kSpoofedGateway, 20}, {FrameMix::kOfferUnicast, 10},     {FrameMix::kOfferBroadcast, 10},
    {FrameMix::kOfferWithoutAddress, 5}, {FrameMix::kOtherIpv4, 285},
};

constexpr uint16_t kRequest = 1;
constexpr uint16_t kReply = 2;

}  // namespace

FrameMix::FrameMix(const BenchSegment& segment, uint64_t seed, uint64_t frames, uint64_t offers_without_address,
                   bool arp_only)
    : seg(segment), ull_state(seed), ull_frames(frames), b_arp_only(arp_only) {
  if (offers_without_address > 0 && frames > 0 && !arp_only) {
    ull_addressless_every = frames / offers_without_address;
    if (ull_addressless_every == 0) ull_addressless_every = 1;
  }
}

// splitmix64: small, fast and the same everywhere.
uint64_t FrameMix::random() {
  uint64_t z = (ull_state += 0x9e3779b97f4a7c15ull);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
  return z ^ (z >> 31);
}

bool FrameMix::next(BenchSegment::Frame& frame, Kind& kind) {
  if (ull_produced >= ull_frames) return false;
  ++ull_produced;
  bool addressless = ull_addressless_every != 0 && ull_produced % ull_addressless_every == ull_addressless_every / 2;
  kind = addressless ? kOfferWithoutAddress : pick_kind();
  frame = make(kind);
  return true;
}

static bool is_arp(FrameMix::Kind kind) {
  return kind == FrameMix::kArpAmongHosts || kind == FrameMix::kArpReplyToHost || kind == FrameMix::kGatewayArp ||
         kind == FrameMix::kSpoofedGateway;
}

FrameMix::Kind FrameMix::pick_kind() {
  unsigned total = 0;
  for (const Share& share : kShares) total += (!b_arp_only || is_arp(share.kind)) ? share.per_mille : 0;
  unsigned roll = static_cast<unsigned>(random() % total);
  for (const Share& share : kShares) {
    if (b_arp_only && !is_arp(share.kind)) continue;
    if (roll < share.per_mille) return share.kind;
    roll -= share.per_mille;
  }
  return kOtherIpv4;
}

BenchSegment::Frame FrameMix::make(Kind kind) {
  const BenchSegment::Station& host = seg.guarded();
  switch (kind) {
    case kArpAmongHosts:
      return arp_among_hosts();
    case kArpReplyToHost: {
      const BenchSegment::Station& from = seg.host(below(seg.host_count()));
      return BenchSegment::arp(kReply, from, from.mac, host.mac, host.mac, host.ip);
    }
    case kGatewayArp:
      return gateway_arp();
    case kSpoofedGateway:
      return BenchSegment::arp(kReply, seg.gateway(), seg.spoofer_mac(below(BenchSegment::kSpoofers)), host.mac,
                               host.mac, host.ip);
    case kOfferUnicast:
      return offer(false);
    case kOfferBroadcast:
      return offer(true);
    case kOfferWithoutAddress:
      return BenchSegment::dhcp_offer(seg.rogue_server(), host.mac, 0, seg.rogue_gateway(), false);
    default:
      return other_ipv4();
  }
}

BenchSegment::Frame FrameMix::arp_among_hosts() {
  const BenchSegment::Station& from = seg.host(below(seg.host_count()));
  unsigned roll = static_cast<unsigned>(below(100));
  uint32_t target = roll < 10 ? seg.gateway().ip : roll < 15 ? seg.guarded().ip : seg.host(below(seg.host_count())).ip;
  return BenchSegment::arp(kRequest, from, from.mac, nullptr, nullptr, target);
}

BenchSegment::Frame FrameMix::gateway_arp() {
  const BenchSegment::Station& gw = seg.gateway();
  const BenchSegment::Station& host = seg.guarded();
  if (below(2) == 0) return BenchSegment::arp(kReply, gw, gw.mac, host.mac, host.mac, host.ip);
  return BenchSegment::arp(kRequest, gw, gw.mac, nullptr, nullptr, seg.host(below(seg.host_count())).ip);
}

BenchSegment::Frame FrameMix::offer(bool broadcast) {
  bool rogue = below(5) == 0;
  const BenchSegment::Station& server = rogue ? seg.rogue_server() : seg.dhcp_server();
  uint32_t router = rogue ? seg.rogue_gateway() : seg.gateway().ip;
  return BenchSegment::dhcp_offer(server, seg.guarded().mac, seg.guarded().ip, router, broadcast);
}

BenchSegment::Frame FrameMix::other_ipv4() {
  const BenchSegment::Station& peer = seg.host(below(seg.host_count()));
  bool inbound = below(2) == 0;
  unsigned size_class = static_cast<unsigned>(below(10));
  size_t length = size_class < 4 ? 60 + below(69) : size_class < 8 ? 128 + below(449) : 576 + below(939);
  const BenchSegment::Station& from = inbound ? peer : seg.guarded();
  const BenchSegment::Station& to = inbound ? seg.guarded() : peer;
  return BenchSegment::other_ipv4(from, to, below(3) != 0, length, random());
}

const char* FrameMix::kind_name(Kind kind) {
  static const char* const kNames[kKinds] = {"arp among hosts",        "arp reply to host", "gateway arp",
                                             "spoofed gateway claim",  "unicast offer",     "broadcast offer",
                                             "other ipv4",             "offer without address"};
  return kind >= 0 && kind < kKinds ? kNames[kind] : "?";
}
