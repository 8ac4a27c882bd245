// GetIpNetTable and SetIpNetEntry: the backend that a test or a replay has
// installed, or the system's own table (SystemIpNetTable.cpp).
#include "platform/IpHelper.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>

#include "platform/ArpTableBackend.h"
#include "platform/SystemIpNetTable.h"
#include "platform/WinTime.h"

namespace {

std::atomic<platform::ArpTableBackend*> g_backend{nullptr};

DWORD fail(DWORD code) {
  SetLastError(code);
  return code;
}

uint32_t host_order(DWORD network_order) {
  unsigned char b[4];
  std::memcpy(b, &network_order, sizeof(b));
  return static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 | static_cast<uint32_t>(b[2]) << 8 | b[3];
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
  platform::ArpTableBackend* backend = g_backend.load();
  if (backend) return platform::read_ip_net_table(*backend, table, size, order);
  return platform::system_get_ip_net_table(table, size, order);
}

DWORD SetIpNetEntry(PMIB_IPNETROW row) {
  if (!row) return fail(ERROR_INVALID_PARAMETER);
  MIB_IPNETROW copy;
  std::memcpy(&copy, row, sizeof(copy));
  platform::ArpTableBackend* backend = g_backend.load();
  DWORD ret = backend ? backend->set_row(copy) : platform::system_set_ip_net_entry(copy);
  return ret == NO_ERROR ? NO_ERROR : fail(ret);
}

namespace platform {

DWORD read_ip_net_table(ArpTableBackend& backend, PMIB_IPNETTABLE table, ULONG* size, BOOL order) {
  std::vector<MIB_IPNETROW> rows;
  DWORD ret = backend.read_rows(rows);
  if (ret != NO_ERROR) return fail(ret);
  if (rows.empty()) return fail(ERROR_NO_DATA);
  ULONG needed = ip_net_table_size(rows.size());
  if (!table || *size < needed) {
    *size = needed;
    return fail(ERROR_INSUFFICIENT_BUFFER);
  }
  if (order) {
    std::stable_sort(rows.begin(), rows.end(), [](const MIB_IPNETROW& a, const MIB_IPNETROW& b) {
      return host_order(a.dwAddr) < host_order(b.dwAddr);
    });
  }
  write_rows(table, rows);
  return NO_ERROR;
}

ULONG ip_net_table_size(size_t rows) {
  uint64_t bytes = offsetof(MIB_IPNETTABLE, table) + static_cast<uint64_t>(rows) * sizeof(MIB_IPNETROW);
  bytes = std::max<uint64_t>(bytes, sizeof(MIB_IPNETTABLE));
  return bytes > 0xffffffffu ? 0xffffffffu : static_cast<ULONG>(bytes);
}

void set_arp_table_backend(ArpTableBackend* backend) { g_backend.store(backend); }

ArpTableBackend* arp_table_backend() {
  ArpTableBackend* backend = g_backend.load();
  return backend ? backend : &system_arp_table();
}

}  // namespace platform
