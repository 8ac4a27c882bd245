// The IPv6 guard's capture callback: the bounded reader, the walk of the
// extension headers and of the neighbour discovery and DHCPv6 options, and
// the router judgement behind them.
//
// The first byte chooses the guard: even, the router fe80::1 is listed (a
// claim binds it); odd, it is known from the table only (a claim probes
// it). The rest is one captured frame, handed to on_packet in a buffer of
// exactly its length. The router table is in memory; the guard is made
// anew for each input, so that an input always does the same.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/Finding.h"
#include "fuzz/FuzzPlugin.h"
#include "host/HNetworkProtocolUtil.h"
#include "ipv6guard/HIpv6Callback.h"
#include "ipv6guard/HIpv6Packet.h"
#include "platform/MemoryIpv6Table.h"

namespace {

platform::Ipv6Router router() {
  platform::Ipv6Router row;
  HIpv6Text::parse("fe80::1", row.address);
  row.i_ifindex = 1;
  row.b_has_mac = HNetworkProtocolUtil::MakeMACArrayFromString("02:77:06:00:00:01", row.mac);
  return row;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  FuzzPlugin::ins().begin_input(1, false, true, HString());
  static platform::MemoryIpv6Table table;
  const platform::Ipv6Router gateway = router();
  table.set_routers({gateway});
  platform::set_ipv6_table(&table);
  HIpv6Routers::Settings settings;
  if (data[0] % 2 == 0) {
    HIpv6Routers::Mac mac;
    std::copy(gateway.mac, gateway.mac + mac.size(), mac.begin());
    settings.vt_listed.push_back({gateway.address, mac});
  }
  HIpv6Routers::Mac host_mac{2, 0x77, 6, 0, 0, 0x0a};
  HIpv6Routers routers(settings, host_mac);
  routers.refresh({gateway}, true);
  HIpv6Callback callback(routers, HDhcp6Servers({HString("00:03:00:01:02:77:06:00:00:02")}));

  std::vector<uint8_t> frame(data + 1, data + size);
  callback.on_packet(frame.empty() ? nullptr : frame.data(), static_cast<int>(frame.size()));
  HIpv6Packet packet;
  HIpv6Packet::Kind kind = packet.read(frame.empty() ? nullptr : frame.data(), static_cast<int>(frame.size()));
  bool judged = kind == HIpv6Packet::Kind::kIcmp || kind == HIpv6Packet::Kind::kUdp;
  if (judged && packet.upper() + packet.upper_length() > frame.data() + frame.size()) {
    finding("the upper message ends past the frame");
  }
  if (table.routes().size() != 1) finding("the router's own route was removed");
  return 0;
}
