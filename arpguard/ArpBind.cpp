#include "arpguard/ArpBind.h"

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "host/HEnvironment.h"
#include "host/HFileLog.h"
#include "host/HNetworkProtocolUtil.h"
#include "platform/ArpCommand.h"
#include "platform/IpHelper.h"
#include "platform/WinTime.h"

namespace {

const wchar_t kSource[] = L".\\HThreadTidewell";
constexpr size_t kMacLen = 6;
// The guard refuses tables above this size; so does the binding.
constexpr ULONG kMaxTableBytes = 0x100000;

enum class TableRead { kRead, kUnreadable, kNoMemory };

// Reads the table into `buffer`, sized as the size query says.
TableRead read_table(std::unique_ptr<DWORD[]>& buffer, ULONG& size) {
  size = 0;
  GetIpNetTable(nullptr, &size, FALSE);
  if (size == 0 || size > kMaxTableBytes) return TableRead::kUnreadable;
  buffer.reset(new (std::nothrow) DWORD[(size + sizeof(DWORD) - 1) / sizeof(DWORD)]());
  if (!buffer) return TableRead::kNoMemory;
  DWORD ret = GetIpNetTable(reinterpret_cast<PMIB_IPNETTABLE>(buffer.get()), &size, FALSE);
  return ret == NO_ERROR ? TableRead::kRead : TableRead::kUnreadable;
}

// Copies row `i` out of a table read; false past the rows the buffer holds.
bool row_at(const unsigned char* table, ULONG size, DWORD i, MIB_IPNETROW& row) {
  const size_t rows_at = offsetof(MIB_IPNETTABLE, table);
  DWORD count = 0;
  if (size < rows_at) return false;
  std::memcpy(&count, table, sizeof(count));
  size_t fits = (size - rows_at) / sizeof(MIB_IPNETROW);
  if (i >= count || i >= fits) return false;
  std::memcpy(&row, table + rows_at + i * sizeof(MIB_IPNETROW), sizeof(row));
  return true;
}

bool row_is(const MIB_IPNETROW& row, const HString& ip) {
  return HString(HNetworkProtocolUtil::GetIPString(row.dwAddr, true)) == ip;
}

HString cause_of_refusal(DWORD ret) {
  HString cause(L"SetIpNetEntry ret ");
  cause << ret;
  // On Linux: the kernel's EPERM, the agent lacks CAP_NET_ADMIN.
  if (ret == ERROR_ACCESS_DENIED) cause << L" (access denied: no right to change the ARP table)";
  return cause;
}

// Rewrites the first row of `ip` in place; false when the table has none.
bool set_first_row(const unsigned char* table, ULONG size, const HString& ip, const unsigned char* mac, DWORD type,
                   HBindAttempt& attempt) {
  MIB_IPNETROW row;
  for (DWORD i = 0; row_at(table, size, i, row); ++i) {
    if (!row_is(row, ip)) continue;
    std::memcpy(row.bPhysAddr, mac, kMacLen);
    // A row without a hardware address (incomplete, failed) has length 0;
    // the six bytes just written are the address to store.
    row.dwPhysAddrLen = kMacLen;
    row.dwType = type;
    DWORD ret = SetIpNetEntry(&row);
    attempt.kind = ret == NO_ERROR ? HBindAttempt::Kind::kSetInPlace : HBindAttempt::Kind::kFailed;
    if (ret != NO_ERROR) attempt.str_cause = cause_of_refusal(ret);
    return true;
  }
  return false;
}

}  // namespace

HBindAttempt bind_ip_mac(const HString& ip, const HString& mac, DWORD type) {
  HBindAttempt attempt;
  unsigned char bytes[kMacLen];
  if (!HNetworkProtocolUtil::MakeMACArrayFromString(mac.get_str_direct(), bytes)) {
    HFileLog::ins().log(1, kSource, __LINE__, L"bind_ip_mac %s: %s is not a MAC, nothing bound", ip.wc_str(),
                        mac.wc_str());
    attempt.str_cause = HString(L"the configured MAC is not a MAC");
    return attempt;
  }
  std::unique_ptr<DWORD[]> buffer;
  ULONG size = 0;
  TableRead read = read_table(buffer, size);
  if (read == TableRead::kNoMemory) {
    attempt.str_cause = HString(L"no memory for the table");
    return attempt;
  }
  if (read == TableRead::kRead &&
      set_first_row(reinterpret_cast<const unsigned char*>(buffer.get()), size, ip, bytes, type, attempt)) {
    return attempt;
  }
  // No row for the address yet, or no table: the command creates the entry.
  attempt.process = run_arp_command(ip, mac);
  if (attempt.process.hProcess) {
    attempt.kind = HBindAttempt::Kind::kCommandStarted;
  } else {
    attempt.str_cause = HString(L"arp -s could not be started, error ");
    attempt.str_cause << GetLastError();
  }
  return attempt;
}

bool is_bound(const HString& ip, const HString& mac) {
  unsigned char wanted[kMacLen];
  if (!HNetworkProtocolUtil::MakeMACArrayFromString(mac.get_str_direct(), wanted)) return false;
  std::unique_ptr<DWORD[]> buffer;
  ULONG size = 0;
  if (read_table(buffer, size) != TableRead::kRead) return false;
  const unsigned char* table = reinterpret_cast<const unsigned char*>(buffer.get());
  MIB_IPNETROW row;
  for (DWORD i = 0; row_at(table, size, i, row); ++i) {
    if (row_is(row, ip) && row.dwType == MIB_IPNET_TYPE_STATIC && row.dwPhysAddrLen == kMacLen &&
        std::memcmp(row.bPhysAddr, wanted, kMacLen) == 0) {
      return true;
    }
  }
  return false;
}

PROCESS_INFORMATION run_arp_command(const HString& ip, const HString& mac) {
  HString command(L"arp -s ");
  command << ip << L" " << mac;
  if (platform::arp_command_uses_dashes()) command.replace_ex(L":", L"-", true);
  command.debugview();

  STARTUPINFOW si;
  std::memset(&si, 0, sizeof(si));
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi;
  std::memset(&pi, 0, sizeof(pi));

  HString system_dir = HEnvironment::GetWindowsSystem32Dir(false);
  std::vector<wchar_t> line(command.wc_str(), command.wc_str() + command.length() + 1);
  CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, system_dir.wc_str(), &si, &pi);
  return pi;
}
