// The ARP capture callback with everything behind it: the guard's judgement
// and auto-binding, the probe thread, and the DHCP gateway probe that claims
// ARP answers.
//
// Input: one policy byte (bits 0-1 protection mode, bit 2 auto-binding,
// bit 3 the agent's state word misses the policy's mask), the bind list as
// UTF-8 up to a 0 byte, then records of a kind byte, a 16-bit length and
// that many bytes:
//   kind % 4 == 0  a frame for the ARP callback
//   kind % 4 == 1  a frame for the DHCP callback (offers start gateway probes)
//   kind % 4 == 2  time passes: the length in milliseconds, pass by pass
//   kind % 4 == 3  the guard judges what waits
// After the records every claim is judged and every probe settled.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "arpguard/HThreadTidewell.h"
#include "arpwatch/HTWPkgCallback.h"
#include "dhcpguard/HDhcpAttackCallback.h"
#include "fuzz/FuzzInput.h"
#include "fuzz/FuzzPlugin.h"
#include "host/HFileUtil.h"

namespace {
constexpr size_t kMaxBindList = 512;
constexpr size_t kMaxFrame = 1514;
constexpr int kMaxRecords = 64;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzPlugin& plugin = FuzzPlugin::ins();
  FuzzInput in(data, size);
  uint8_t policy = in.byte();
  HString bind_list = HFileUtil::from_utf8(in.until(0, kMaxBindList));
  plugin.begin_input(policy & 3, (policy & 4) != 0, (policy & 8) == 0, bind_list);

  for (int record = 0; record < kMaxRecords && !in.empty(); ++record) {
    uint8_t kind = in.byte() % 4;
    size_t length = in.u16();
    if (kind == 2) {
      plugin.advance(length);
      continue;
    }
    if (kind == 3) {
      while (plugin.guard().run_pass()) {
      }
      continue;
    }
    std::vector<uint8_t> frame = in.take(length < kMaxFrame ? length : kMaxFrame);
    const unsigned char* bytes = frame.empty() ? nullptr : frame.data();
    if (kind == 0) {
      plugin.arp().on_packet(bytes, static_cast<int>(frame.size()));
    } else {
      plugin.dhcp().on_packet(bytes, static_cast<int>(frame.size()));
    }
  }
  plugin.settle();
  return 0;
}
