#include "agent/AgentPaths.h"

AgentPaths AgentPaths::defaults_for(const std::string& exe_folder) {
  AgentPaths paths;
  std::string folder = exe_folder;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  size_t slash = folder.rfind('/');
  std::string name = slash == std::string::npos ? folder : folder.substr(slash + 1);
  if (name == TIDEWELL_SBIN_NAME) {
    paths.str_config = TIDEWELL_INSTALL_CONFIG;
    paths.str_home = TIDEWELL_INSTALL_HOME;
    paths.str_plugin = folder + "/" TIDEWELL_LIBDIR_FROM_SBIN "/libtidewell.so";
  } else {
    paths.str_home = folder;
    paths.str_plugin = folder + "/libtidewell.so";
  }
  return paths;
}
