// Where the agent lives, on Windows: the folder of the running executable
// (GetModuleFileNameW), written with "/" like every path of the host layer.
#include "host/HEnvironment.h"

#include <windows.h>

#include <mutex>
#include <string>

#include "host/HFileUtil.h"

namespace {
std::mutex g_home_mutex;
HString g_home;

HString exe_folder() {
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

HString with_sep(HString folder, bool with_separator) {
  if (with_separator && !(folder.length() > 0 && folder.wstr().back() == L'/')) folder << L"/";
  return folder;
}
}  // namespace

HString HEnvironment::GetMyExeFullFilePath(bool with_separator) {
  HString home;
  {
    std::lock_guard<std::mutex> lock(g_home_mutex);
    home = g_home;
  }
  if (home.empty()) home = exe_folder();
  return with_sep(home, with_separator);
}

HString HEnvironment::GetWindowsSystem32Dir(bool with_separator) {
  wchar_t folder[MAX_PATH];
  UINT n = ::GetSystemDirectoryW(folder, MAX_PATH);
  HString dir = (n > 0 && n < MAX_PATH) ? HString(std::wstring(folder, n)) : HString(L"C:\\Windows\\System32");
  if (with_separator && dir.wstr().back() != L'\\') dir << L"\\";
  return dir;
}

void HEnvironment::set_home(const HString& folder) {
  HString normal = HFileUtil::normalize(folder);
  std::lock_guard<std::mutex> lock(g_home_mutex);
  g_home = normal;
}
