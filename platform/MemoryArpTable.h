#pragma once
// An ARP table held in memory: the replay table and the tests' table. Rows
// keep their order; set_row replaces the row of the same address and
// interface in place, or appends one.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/ArpTableBackend.h"

namespace platform {

class MemoryArpTable : public ArpTableBackend {
 public:
  MemoryArpTable() = default;
  explicit MemoryArpTable(const std::vector<MIB_IPNETROW>& rows) : vt_rows(rows) {}

  DWORD read_rows(std::vector<MIB_IPNETROW>& rows) override;
  DWORD set_row(const MIB_IPNETROW& row) override;

  // What "arp -s" does: the first row of the address becomes static with the
  // MAC; without a row, a static row is appended on the interface of the
  // table's first row (1 when the table is empty).
  void set_static(DWORD address, const BYTE mac[6]);

  void set_rows(const std::vector<MIB_IPNETROW>& rows);
  std::vector<MIB_IPNETROW> rows() const;
  // Until reset with NO_ERROR, every read (or set) fails with `code`.
  void set_read_error(DWORD code);
  void set_set_error(DWORD code);
  // Runs at the start of every read, with the rows it may change: a table
  // that changes between a size query and the read that follows.
  void set_read_hook(std::function<void(std::vector<MIB_IPNETROW>&)> hook);
  uint32_t read_count() const { return i_reads; }
  // Calls of set_row (SetIpNetEntry), refused ones too; set_static is none.
  uint32_t set_count() const { return i_sets; }

 private:
  mutable std::mutex mtx_rows;
  std::vector<MIB_IPNETROW> vt_rows;
  std::function<void(std::vector<MIB_IPNETROW>&)> fn_read_hook;
  DWORD dw_read_error = NO_ERROR;
  DWORD dw_set_error = NO_ERROR;
  std::atomic<uint32_t> i_reads{0};
  std::atomic<uint32_t> i_sets{0};
};

}  // namespace platform
