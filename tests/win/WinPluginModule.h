#pragma once
// Tidewell.dll as the host program drives it: loaded with LoadLibraryW, each
// of the four exports resolved by name and by ordinal, and the two required
// to be the same function. Never unloaded: its threads run until the end.
#include <cstdint>
#include <string>

class WinPluginModule {
 public:
  typedef int (*InitFn)(wchar_t*, wchar_t*, int64_t);
  typedef int (*PlainFn)();
  typedef int (*SetConfigFn)(const unsigned short*, const unsigned short*, const char*, int, int);

  // 0, or -1 with `error` naming the file and the export at fault.
  int load(const std::wstring& path, std::string& error);

  InitFn p_init = nullptr;
  PlainFn p_init2 = nullptr;
  PlainFn p_heartbeat = nullptr;
  SetConfigFn p_set_config = nullptr;
};

// Ends the process at once with `code`: the plug-in's threads never stop, so
// nothing may be torn down under them.
[[noreturn]] void end_process(int code);
// The folder of the running program, with "/" separators.
std::string program_folder_utf8();
