#pragma once
// The system's own ARP table behind GetIpNetTable and SetIpNetEntry, used
// while no backend is installed: the part of IpHelper.cpp that each system
// has of its own.
#include "platform/IpHelper.h"

namespace platform {

ArpTableBackend& system_arp_table();
// GetIpNetTable's contract; `size` is not null.
DWORD system_get_ip_net_table(PMIB_IPNETTABLE table, ULONG* size, BOOL order);
// SetIpNetEntry's contract without the last error; `row` is a copy.
DWORD system_set_ip_net_entry(MIB_IPNETROW& row);

// GetIpNetTable over a backend, with the last error set on failure.
DWORD read_ip_net_table(ArpTableBackend& backend, PMIB_IPNETTABLE table, ULONG* size, BOOL order);

}  // namespace platform
