#include "platform/MemoryArpTable.h"

#include <cstring>

namespace platform {

DWORD MemoryArpTable::read_rows(std::vector<MIB_IPNETROW>& rows) {
  std::lock_guard<std::mutex> lock(mtx_rows);
  ++i_reads;
  if (fn_read_hook) fn_read_hook(vt_rows);
  if (dw_read_error != NO_ERROR) return dw_read_error;
  rows = vt_rows;
  return NO_ERROR;
}

DWORD MemoryArpTable::set_row(const MIB_IPNETROW& row) {
  std::lock_guard<std::mutex> lock(mtx_rows);
  ++i_sets;
  if (dw_set_error != NO_ERROR) return dw_set_error;
  if (row.dwPhysAddrLen == 0 || row.dwPhysAddrLen > MAXLEN_PHYSADDR) return ERROR_INVALID_PARAMETER;
  if (row.dwType != MIB_IPNET_TYPE_STATIC && row.dwType != MIB_IPNET_TYPE_DYNAMIC) return ERROR_INVALID_PARAMETER;
  for (MIB_IPNETROW& existing : vt_rows) {
    if (existing.dwAddr == row.dwAddr && existing.dwIndex == row.dwIndex) {
      existing = row;
      return NO_ERROR;
    }
  }
  vt_rows.push_back(row);
  return NO_ERROR;
}

void MemoryArpTable::set_static(DWORD address, const BYTE mac[6]) {
  std::lock_guard<std::mutex> lock(mtx_rows);
  MIB_IPNETROW row{};
  row.dwIndex = vt_rows.empty() ? 1 : vt_rows.front().dwIndex;
  for (const MIB_IPNETROW& existing : vt_rows) {
    if (existing.dwAddr == address) {
      row.dwIndex = existing.dwIndex;
      break;
    }
  }
  row.dwAddr = address;
  row.dwPhysAddrLen = 6;
  std::memcpy(row.bPhysAddr, mac, 6);
  row.dwType = MIB_IPNET_TYPE_STATIC;
  for (MIB_IPNETROW& existing : vt_rows) {
    if (existing.dwAddr == address && existing.dwIndex == row.dwIndex) {
      existing = row;
      return;
    }
  }
  vt_rows.push_back(row);
}

void MemoryArpTable::set_rows(const std::vector<MIB_IPNETROW>& rows) {
  std::lock_guard<std::mutex> lock(mtx_rows);
  vt_rows = rows;
}

std::vector<MIB_IPNETROW> MemoryArpTable::rows() const {
  std::lock_guard<std::mutex> lock(mtx_rows);
  return vt_rows;
}

void MemoryArpTable::set_read_error(DWORD code) {
  std::lock_guard<std::mutex> lock(mtx_rows);
  dw_read_error = code;
}

void MemoryArpTable::set_set_error(DWORD code) {
  std::lock_guard<std::mutex> lock(mtx_rows);
  dw_set_error = code;
}

void MemoryArpTable::set_read_hook(std::function<void(std::vector<MIB_IPNETROW>&)> hook) {
  std::lock_guard<std::mutex> lock(mtx_rows);
  fn_read_hook = std::move(hook);
}

}  // namespace platform
