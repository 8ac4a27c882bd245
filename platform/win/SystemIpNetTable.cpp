// The system's ARP table on Windows: IP Helper itself.
#include "platform/SystemIpNetTable.h"

#include <cstdint>

#include "platform/win/IpHelperArpTable.h"
#include "platform/win/Native.h"

namespace platform {

ArpTableBackend& system_arp_table() {
  static IpHelperArpTable* table = new IpHelperArpTable();
  return *table;
}

DWORD system_get_ip_net_table(PMIB_IPNETTABLE table, ULONG* size, BOOL order) {
  uint32_t bytes = *size;
  DWORD ret = native::get_ip_net_table(table, &bytes, order);
  *size = bytes;
  return ret;
}

DWORD system_set_ip_net_entry(MIB_IPNETROW& row) { return native::set_ip_net_entry(&row); }

}  // namespace platform
