#pragma once
// Where GetIpNetTable and SetIpNetEntry find the ARP table: the kernel's
// neighbour table (NetlinkArpTable) or rows held in memory (MemoryArpTable).
#include <vector>

#include "platform/IpHelper.h"

namespace platform {

class ArpTableBackend {
 public:
  virtual ~ArpTableBackend() = default;
  // Every IPv4 row, in the table's order. NO_ERROR or a Windows error code;
  // `rows` is only meaningful on NO_ERROR.
  virtual DWORD read_rows(std::vector<MIB_IPNETROW>& rows) = 0;
  // Creates or replaces the entry of row.dwAddr on interface row.dwIndex.
  virtual DWORD set_row(const MIB_IPNETROW& row) = 0;
};

}  // namespace platform
