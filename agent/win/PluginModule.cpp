#include "agent/PluginModule.h"

#include <windows.h>

#include "platform/Utf8.h"

int PluginModule::load(const std::string& path, std::string& error) {
  HMODULE module = ::LoadLibraryW(platform::utf8_to_wide(path.c_str()).c_str());
  if (!module) {
    error = "cannot load plug-in " + path + ": error " + std::to_string(::GetLastError());
    return -1;
  }
  struct Export {
    const char* name;
    WORD ordinal;
    void** slot;
  } exports[] = {
      {"orvoHeartbeat", 1, reinterpret_cast<void**>(&p_heartbeat)},
      {"orvoInit2", 2, reinterpret_cast<void**>(&p_init2)},
      {"orvoInit", 3, reinterpret_cast<void**>(&p_init)},
      {"?orvoSetConfig@@YAHPEBG0PEBDHH@Z", 4, reinterpret_cast<void**>(&p_set_config)},
  };
  for (const Export& e : exports) {
    FARPROC by_name = ::GetProcAddress(module, e.name);
    FARPROC by_ordinal = ::GetProcAddress(module, MAKEINTRESOURCEA(e.ordinal));
    if (!by_name) {
      error = "plug-in " + path + " does not export " + e.name;
      return -1;
    }
    if (by_name != by_ordinal) {
      error = "plug-in " + path + ": " + e.name + " is not ordinal " + std::to_string(e.ordinal);
      return -1;
    }
    *e.slot = reinterpret_cast<void*>(by_name);
  }
  return 0;
}
