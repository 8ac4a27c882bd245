// The executable's folder and the system folder on Linux.
#include "host/HSystemFolders.h"

#include <limits.h>
#include <string>
#include <unistd.h>

#include "host/HEnvironment.h"
#include "host/HFileUtil.h"

HString running_exe_folder() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n <= 0) return HString(".");
  std::string path(buf, static_cast<size_t>(n));
  std::string folder = HFileUtil::dir_name(path);
  return folder.empty() ? HString(".") : HFileUtil::from_utf8(folder);
}

// net-tools' arp lives here on Debian.
HString HEnvironment::GetWindowsSystem32Dir(bool with_separator) {
  return HString(with_separator ? L"/usr/sbin/" : L"/usr/sbin");
}
