#include "agent/PluginModule.h"

#include <dlfcn.h>

namespace {

// orvoSetConfig keeps C++ linkage; the host finds it by its mangled name.
const char* const SET_CONFIG_SYMBOL = "_Z13orvoSetConfigPKtS0_PKcii";

}  // namespace

int PluginModule::load(const std::string& path, std::string& error) {
  // A bare name would send dlopen through the library search path.
  std::string where = path.find('/') == std::string::npos ? "./" + path : path;
  void* module = dlopen(where.c_str(), RTLD_NOW);
  if (module == nullptr) {
    const char* why = dlerror();
    error = "cannot load plug-in " + path + ": " + (why ? why : "unknown error");
    return -1;
  }
  struct Export {
    const char* name;
    void** slot;
  } exports[] = {
      {"orvoInit", reinterpret_cast<void**>(&p_init)},
      {"orvoInit2", reinterpret_cast<void**>(&p_init2)},
      {"orvoHeartbeat", reinterpret_cast<void**>(&p_heartbeat)},
      {SET_CONFIG_SYMBOL, reinterpret_cast<void**>(&p_set_config)},
  };
  for (const Export& e : exports) {
    *e.slot = dlsym(module, e.name);
    if (*e.slot == nullptr) {
      error = "plug-in " + path + " does not export " + e.name;
      return -1;
    }
  }
  return 0;
}
