#include "platform/win/IpHelperArpTable.h"

#include <cstring>
#include <memory>

#include "platform/win/Native.h"

namespace platform {

DWORD IpHelperArpTable::read_rows(std::vector<MIB_IPNETROW>& rows) {
  rows.clear();
  uint32_t size = 0;
  DWORD ret = native::get_ip_net_table(nullptr, &size, 0);
  for (int attempt = 0; attempt < kMaxAttempts && ret == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
    std::unique_ptr<DWORD[]> buffer(new (std::nothrow) DWORD[size / sizeof(DWORD) + 1]);
    if (!buffer) return ERROR_NOT_ENOUGH_MEMORY;
    ret = native::get_ip_net_table(buffer.get(), &size, 0);
    if (ret != NO_ERROR) continue;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(buffer.get());
    DWORD count = 0;
    std::memcpy(&count, bytes, sizeof(count));
    if (size < offsetof(MIB_IPNETTABLE, table)) return ERROR_GEN_FAILURE;
    size_t room = (size - offsetof(MIB_IPNETTABLE, table)) / sizeof(MIB_IPNETROW);
    if (count > room) return ERROR_GEN_FAILURE;
    rows.resize(count);
    if (count) std::memcpy(rows.data(), bytes + offsetof(MIB_IPNETTABLE, table), count * sizeof(MIB_IPNETROW));
  }
  // An empty table is a table without rows, as the other backends give it.
  if (ret == ERROR_NO_DATA) return NO_ERROR;
  return ret;
}

DWORD IpHelperArpTable::set_row(const MIB_IPNETROW& row) { return native::set_ip_net_entry(&row); }

}  // namespace platform
