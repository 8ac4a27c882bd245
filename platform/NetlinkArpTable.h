#pragma once
// The kernel's IPv4 neighbour table over rtnetlink: an RTM_GETNEIGH dump to
// read it, RTM_NEWNEIGH (create or replace) to set an entry, through
// NetlinkClient. Each call opens its own socket, so the table may be used
// from several threads.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/ArpTableBackend.h"

namespace platform {

class NetlinkArpTable : public ArpTableBackend {
 public:
  // A dump with more rows than this is refused rather than cut short.
  static constexpr size_t kMaxRows = 65536;

  DWORD read_rows(std::vector<MIB_IPNETROW>& rows) override;
  DWORD set_row(const MIB_IPNETROW& row) override;

  // The one place where the kernel's neighbour states become row types.
  static DWORD type_of_state(uint16_t nud_state);
  // Windows error code for a positive errno.
  static DWORD error_of_errno(int error);

  enum class Chunk { kMore, kDone, kError };
  // Walks the messages of one received chunk of a dump answering `seq` and
  // appends its IPv4 rows. Every message and attribute length is checked
  // before it is read; a row without a 4-byte destination is skipped. On
  // kError, `error` is a positive errno (EPROTO for a malformed message,
  // EOVERFLOW past kMaxRows).
  static Chunk parse_dump(const unsigned char* buf, size_t len, uint32_t seq, std::vector<MIB_IPNETROW>& rows,
                          int& error);
  // Walks one received datagram of neighbour events (any sequence number)
  // and appends a row for each IPv4 entry in it, read as a dump row is; a
  // deleted entry comes as a row of type invalid. False when the datagram's
  // framing is broken: the rows before the fault are kept.
  static bool parse_events(const unsigned char* buf, size_t len, std::vector<MIB_IPNETROW>& rows);
  // Looks for the acknowledgement of request `seq` in one chunk: true when
  // found, with `error` 0 or a positive errno.
  static bool parse_ack(const unsigned char* buf, size_t len, uint32_t seq, int& error);

  // Requests, built into `buf` of `size` bytes; the length, or 0 when the
  // request does not fit or the row cannot be expressed.
  static size_t build_dump_request(uint32_t seq, unsigned char* buf, size_t size);
  static size_t build_set_request(const MIB_IPNETROW& row, uint32_t seq, unsigned char* buf, size_t size);

};

}  // namespace platform
