#pragma once
// The plug-in module as the agent drives it: loaded once with every export
// resolved up front, and never unloaded (its threads run until the end).
// agent/PluginModule.cpp loads it with dlopen; agent/win/PluginModule.cpp
// with LoadLibraryW, each export by name and by ordinal, required to be the
// same function.
#include <cstdint>
#include <string>

class PluginModule {
 public:
  typedef int (*InitFn)(wchar_t*, wchar_t*, int64_t);
  typedef int (*PlainFn)();
  typedef int (*SetConfigFn)(const unsigned short*, const unsigned short*, const char*, int, int);

  // `path` in UTF-8. 0, or -1 with `error` naming the file and the export at
  // fault.
  int load(const std::string& path, std::string& error);

  InitFn p_init = nullptr;
  PlainFn p_init2 = nullptr;
  PlainFn p_heartbeat = nullptr;
  SetConfigFn p_set_config = nullptr;
};
