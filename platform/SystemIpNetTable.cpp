// The system's ARP table on Linux: the kernel's IPv4 neighbour table over
// rtnetlink.
#include "platform/SystemIpNetTable.h"

#include "platform/NetlinkArpTable.h"

namespace platform {

ArpTableBackend& system_arp_table() {
  static NetlinkArpTable kernel_table;
  return kernel_table;
}

DWORD system_get_ip_net_table(PMIB_IPNETTABLE table, ULONG* size, BOOL order) {
  return read_ip_net_table(system_arp_table(), table, size, order);
}

DWORD system_set_ip_net_entry(MIB_IPNETROW& row) { return system_arp_table().set_row(row); }

}  // namespace platform
