// The DHCP capture callback and its option walk.
//
// The whole input is one captured IPv4 frame, handed to on_packet in a
// buffer of exactly its length; the bytes behind the options of a frame
// without IPv4 options (or the whole input when it is shorter) are also
// walked by parse_options on their own. Every gateway probe the frame starts must have ended once its
// retries ran out.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "dhcpguard/HDhcpAttackCallback.h"
#include "fuzz/Finding.h"
#include "fuzz/FuzzPlugin.h"

namespace {

// Ethernet, a 20-byte IPv4 header, UDP, then the DHCP message.
constexpr size_t kPlainOptionsOffset = 14 + 20 + 8 + HDhcpAttackCallback::kOptionsOffset;

void walk_alone(HDhcpAttackCallback& dhcp, const std::vector<uint8_t>& options) {
  std::vector<uint32_t> routers;
  unsigned char msg_type = 0;
  dhcp.parse_options(options.empty() ? nullptr : options.data(), static_cast<int>(options.size()), routers, msg_type);
  // Each address takes four bytes of the area.
  if (routers.size() > options.size() / 4) finding("more routers than the options area holds");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzPlugin& plugin = FuzzPlugin::ins();
  plugin.begin_input(1, false, true, HString());
  HDhcpAttackCallback& dhcp = plugin.dhcp();

  size_t from = size > kPlainOptionsOffset ? kPlainOptionsOffset : 0;
  walk_alone(dhcp, std::vector<uint8_t>(data + from, data + size));

  std::vector<uint8_t> frame(data, data + size);
  dhcp.on_packet(frame.empty() ? nullptr : frame.data(), static_cast<int>(frame.size()));
  plugin.settle();
  return 0;
}
