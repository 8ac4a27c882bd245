#pragma once
// Where the agent lives. The agent's home defaults to the folder of the
// running executable; `velmora-agent --home` moves it.
#include "host/HString.h"

class HEnvironment {
 public:
  // Folder of the running executable (or the agent's home), no trailing
  // separator. The argument (with separator) is kept for the callers' sake.
  static HString GetMyExeFullFilePath(bool with_separator);
  static HString GetWindowsSystem32Dir(bool with_separator);

  static void set_home(const HString& folder);
};
