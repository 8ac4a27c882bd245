#include "platform/IpHelper.h"

#include <arpa/inet.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/ArpTableBackend.h"
#include "platform/NetlinkArpTable.h"
#include "platform/WinTime.h"

namespace {

std::atomic<platform::ArpTableBackend*> g_backend{nullptr};

platform::ArpTableBackend& current_backend() {
  static platform::NetlinkArpTable kernel_table;
  platform::ArpTableBackend* backend = g_backend.load();
  return backend ? *backend : kernel_table;
}

DWORD fail(DWORD code) {
  SetLastError(code);
  return code;
}

void write_rows(PMIB_IPNETTABLE table, const std::vector<MIB_IPNETROW>& rows) {
  unsigned char* out = reinterpret_cast<unsigned char*>(table);
  DWORD count = static_cast<DWORD>(rows.size());
  std::memcpy(out, &count, sizeof(count));
  if (!rows.empty()) std::memcpy(out + offsetof(MIB_IPNETTABLE, table), rows.data(), rows.size() * sizeof(MIB_IPNETROW));
}

}  // namespace

DWORD GetIpNetTable(PMIB_IPNETTABLE table, ULONG* size, BOOL order) {
  if (!size) return fail(ERROR_INVALID_PARAMETER);
  std::vector<MIB_IPNETROW> rows;
  DWORD ret = current_backend().read_rows(rows);
  if (ret != NO_ERROR) return fail(ret);
  if (rows.empty()) return fail(ERROR_NO_DATA);
  ULONG needed = platform::ip_net_table_size(rows.size());
  if (!table || *size < needed) {
    *size = needed;
    return fail(ERROR_INSUFFICIENT_BUFFER);
  }
  if (order) {
    std::stable_sort(rows.begin(), rows.end(), [](const MIB_IPNETROW& a, const MIB_IPNETROW& b) {
      return ntohl(a.dwAddr) < ntohl(b.dwAddr);
    });
  }
  write_rows(table, rows);
  return NO_ERROR;
}

DWORD SetIpNetEntry(PMIB_IPNETROW row) {
  if (!row) return fail(ERROR_INVALID_PARAMETER);
  MIB_IPNETROW copy;
  std::memcpy(&copy, row, sizeof(copy));
  DWORD ret = current_backend().set_row(copy);
  return ret == NO_ERROR ? NO_ERROR : fail(ret);
}

namespace platform {

ULONG ip_net_table_size(size_t rows) {
  uint64_t bytes = offsetof(MIB_IPNETTABLE, table) + static_cast<uint64_t>(rows) * sizeof(MIB_IPNETROW);
  bytes = std::max<uint64_t>(bytes, sizeof(MIB_IPNETTABLE));
  return bytes > 0xffffffffu ? 0xffffffffu : static_cast<ULONG>(bytes);
}

void set_arp_table_backend(ArpTableBackend* backend) { g_backend.store(backend); }

ArpTableBackend* arp_table_backend() { return &current_backend(); }

}  // namespace platform
