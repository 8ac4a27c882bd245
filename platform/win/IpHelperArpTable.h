#pragma once
// The system's ARP table through IP Helper itself (GetIpNetTable,
// SetIpNetEntry): the backend of GetIpNetTable and SetIpNetEntry on Windows
// unless a test or a replay installs another.
#include <vector>

#include "platform/ArpTableBackend.h"

namespace platform {

class IpHelperArpTable : public ArpTableBackend {
 public:
  // A table that grows this much between the size query and the read is
  // asked again, a few times at most.
  static constexpr int kMaxAttempts = 4;

  DWORD read_rows(std::vector<MIB_IPNETROW>& rows) override;
  DWORD set_row(const MIB_IPNETROW& row) override;
};

}  // namespace platform
