#pragma once
// The IP Helper calls on the ARP table, with their Windows contracts, over the
// kernel's IPv4 neighbour table (or an in-memory table, see
// set_arp_table_backend).
//
// GetIpNetTable(table, &size, order):
//   - size null: ERROR_INVALID_PARAMETER.
//   - no IPv4 neighbour at all: ERROR_NO_DATA, size untouched.
//   - table null or size too small: ERROR_INSUFFICIENT_BUFFER (122), size set
//     to the bytes needed.
//   - otherwise NO_ERROR: dwNumEntries and the rows are written, in the
//     table's order, or sorted by address when `order` is TRUE.
// SetIpNetEntry(row): creates or replaces the entry of row->dwAddr on the
//   interface row->dwIndex with the first dwPhysAddrLen bytes of bPhysAddr;
//   dwType 4 makes it static, 3 dynamic; other types are refused.
// Failures also set the last error (GetLastError) to the returned code.
#include <cstddef>
#include <vector>

#include "platform/WinTypes.h"

constexpr DWORD MAXLEN_PHYSADDR = 8;

constexpr DWORD MIB_IPNET_TYPE_OTHER = 1;
constexpr DWORD MIB_IPNET_TYPE_INVALID = 2;
constexpr DWORD MIB_IPNET_TYPE_DYNAMIC = 3;
constexpr DWORD MIB_IPNET_TYPE_STATIC = 4;

struct MIB_IPNETROW {
  DWORD dwIndex;        // interface index
  DWORD dwPhysAddrLen;  // bytes of bPhysAddr in use
  BYTE bPhysAddr[MAXLEN_PHYSADDR];
  DWORD dwAddr;         // IPv4 address, network byte order
  DWORD dwType;         // MIB_IPNET_TYPE_*
};
static_assert(sizeof(MIB_IPNETROW) == 24, "MIB_IPNETROW has the Windows layout");

struct MIB_IPNETTABLE {
  DWORD dwNumEntries;
  MIB_IPNETROW table[1];  // dwNumEntries rows follow
};
static_assert(offsetof(MIB_IPNETTABLE, table) == 4, "rows follow the count");

typedef MIB_IPNETROW* PMIB_IPNETROW;
typedef MIB_IPNETTABLE* PMIB_IPNETTABLE;

DWORD GetIpNetTable(PMIB_IPNETTABLE table, ULONG* size, BOOL order);
DWORD SetIpNetEntry(PMIB_IPNETROW row);

namespace platform {

class ArpTableBackend;

// Bytes GetIpNetTable needs for `rows` rows.
ULONG ip_net_table_size(size_t rows);

// Selects where the two calls above go; null restores the kernel table. The
// backend must outlive its use.
void set_arp_table_backend(ArpTableBackend* backend);
ArpTableBackend* arp_table_backend();

// Replay: an in-memory table seeded with `rows` becomes the ARP table, and
// "arp -s IP MAC" command lines passed to CreateProcessW are applied to it
// instead of starting a process. The system table is never touched. Calling
// it again reseeds the same table.
void install_virtual_arp_table(const std::vector<MIB_IPNETROW>& rows);

}  // namespace platform
