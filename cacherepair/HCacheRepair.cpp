#include "cacherepair/HCacheRepair.h"

#include <cstddef>
#include <cstring>
#include <vector>

#include "arpguard/HThreadTidewell.h"
#include "arpwatch/HTestThread.h"
#include "frame/HPTWGlobal.h"
#include "host/HFileLog.h"
#include "host/HNetworkProtocolUtil.h"
#include "platform/IpHelper.h"

namespace {

const wchar_t kSource[] = L".\\HCacheRepair";
constexpr size_t kMacLen = 6;
// The guard refuses larger tables; so does the repair.
constexpr ULONG kMaxTableBytes = 0x100000;

// The first row of `ip`; false when the table is unreadable (`ret` says
// why) or has no row for it.
bool find_row(const HString& ip, MIB_IPNETROW& found, DWORD& ret) {
  ULONG size = 0;
  ret = GetIpNetTable(nullptr, &size, FALSE);
  if (ret != ERROR_INSUFFICIENT_BUFFER || size == 0 || size > kMaxTableBytes) return false;
  std::vector<DWORD> buffer((size + sizeof(DWORD) - 1) / sizeof(DWORD));
  ret = GetIpNetTable(reinterpret_cast<PMIB_IPNETTABLE>(buffer.data()), &size, FALSE);
  if (ret != NO_ERROR) return false;
  const unsigned char* table = reinterpret_cast<const unsigned char*>(buffer.data());
  const size_t rows_at = offsetof(MIB_IPNETTABLE, table);
  DWORD count = 0;
  std::memcpy(&count, table, sizeof(count));
  size_t fits = size > rows_at ? (size - rows_at) / sizeof(MIB_IPNETROW) : 0;
  std::string wanted = ip.get_str_direct();
  for (size_t i = 0; i < count && i < fits; ++i) {
    std::memcpy(&found, table + rows_at + i * sizeof(MIB_IPNETROW), sizeof(found));
    if (HNetworkProtocolUtil::GetIPString(found.dwAddr, true) == wanted) return true;
  }
  return false;
}

}  // namespace

void HCacheRepair::start() {
  HTestThread* probe = HPTWGlobal::ins().p_test_thread;
  if (!probe) {
    HFileLog::ins().log(1, kSource, __LINE__, L"cache repair: no probe thread, nothing to repair after");
    return;
  }
  probe->set_spoof_observer([](const HString& ip, const HString& genuine_mac) { restore(ip, genuine_mac); });
  HFileLog::ins().log(2, kSource, __LINE__, L"cache repair on");
}

int HCacheRepair::restore(const HString& ip, const HString& genuine_mac) {
  HThreadTidewell* guard = HPTWGlobal::ins().p_thread_tidewell;
  if (!guard || !guard->is_gateway_ip(ip)) return -1;
  unsigned char mac[kMacLen];
  if (!HNetworkProtocolUtil::MakeMACArrayFromString(genuine_mac.get_str_direct(), mac)) return -1;
  MIB_IPNETROW row;
  DWORD ret = NO_ERROR;
  if (!find_row(ip, row, ret)) {
    // No entry is no poisoned entry: the kernel asks anew.
    if (ret != NO_ERROR && ret != ERROR_NO_DATA) {
      HFileLog::ins().log(1, kSource, __LINE__, L"restore of %s to %s failed: GetIpNetTable ret %lu", ip.wc_str(),
                          genuine_mac.wc_str(), static_cast<unsigned long>(ret));
    }
    return -1;
  }
  // A static entry is a binding's (or the user's): never replaced.
  if (row.dwType != MIB_IPNET_TYPE_DYNAMIC) return -1;
  std::memcpy(row.bPhysAddr, mac, kMacLen);
  row.dwPhysAddrLen = kMacLen;
  // Dynamic, not static: the kernel keeps checking the entry as usual.
  row.dwType = MIB_IPNET_TYPE_DYNAMIC;
  ret = SetIpNetEntry(&row);
  if (ret != NO_ERROR) {
    HFileLog::ins().log(1, kSource, __LINE__, L"restore of %s to %s failed: SetIpNetEntry ret %lu%s", ip.wc_str(),
                        genuine_mac.wc_str(), static_cast<unsigned long>(ret),
                        ret == ERROR_ACCESS_DENIED ? L" (access denied: no right to change the ARP table)" : L"");
    return -1;
  }
  HFileLog::ins().log(2, kSource, __LINE__, L"restored %s to %s", ip.wc_str(), genuine_mac.wc_str());
  return 0;
}
