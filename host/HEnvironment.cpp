#include "host/HEnvironment.h"

#include <limits.h>
#include <mutex>
#include <string>
#include <unistd.h>

#include "host/HFileUtil.h"

namespace {
std::mutex g_home_mutex;
HString g_home;

HString exe_folder() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n <= 0) return HString(".");
  std::string path(buf, static_cast<size_t>(n));
  std::string folder = HFileUtil::dir_name(path);
  return folder.empty() ? HString(".") : HFileUtil::from_utf8(folder);
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

// net-tools' arp lives here on Debian.
HString HEnvironment::GetWindowsSystem32Dir(bool with_separator) {
  return with_sep(HString(L"/usr/sbin"), with_separator);
}

void HEnvironment::set_home(const HString& folder) {
  HString normal = HFileUtil::normalize(folder);
  std::lock_guard<std::mutex> lock(g_home_mutex);
  g_home = normal;
}
