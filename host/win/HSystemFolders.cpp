// The executable's folder (GetModuleFileNameW, written with "/" like every
// path of the host layer) and the system folder on Windows.
#include "host/HSystemFolders.h"

#include <windows.h>

#include <string>

#include "host/HEnvironment.h"
#include "host/HFileUtil.h"

HString running_exe_folder() {
  std::wstring path(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    DWORD n = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return HString(L".");
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  std::wstring normal = HFileUtil::normalize(HString(path)).wstr();
  size_t slash = normal.find_last_of(L'/');
  return slash == std::wstring::npos ? HString(L".") : HString(normal.substr(0, slash));
}

HString HEnvironment::GetWindowsSystem32Dir(bool with_separator) {
  wchar_t folder[MAX_PATH];
  UINT n = ::GetSystemDirectoryW(folder, MAX_PATH);
  HString dir = (n > 0 && n < MAX_PATH) ? HString(std::wstring(folder, n)) : HString(L"C:\\Windows\\System32");
  if (with_separator && dir.wstr().back() != L'\\') dir << L"\\";
  return dir;
}
