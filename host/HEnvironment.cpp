// Where the agent lives: the home set by the agent, else the folder of the
// running executable (HSystemFolders.cpp).
#include "host/HEnvironment.h"

#include <mutex>

#include "host/HFileUtil.h"
#include "host/HSystemFolders.h"

namespace {
std::mutex g_home_mutex;
HString g_home;

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
  if (home.empty()) home = running_exe_folder();
  return with_sep(home, with_separator);
}

void HEnvironment::set_home(const HString& folder) {
  HString normal = HFileUtil::normalize(folder);
  std::lock_guard<std::mutex> lock(g_home_mutex);
  g_home = normal;
}
