// tidewell-host.exe: replays a capture file through Tidewell.dll (see
// WinReplayHost.h).
#include <cstdio>
#include <string>
#include <vector>

#include "host/HFileLog.h"
#include "agent/win/WinProgram.h"
#include "agent/win/WinReplayHost.h"

int main(int argc, char** argv) {
  // Static, so that nothing of the host is destroyed under the plug-in's
  // threads; they never stop, so the process is ended rather than left.
  static WinReplayHost host;
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
  int code = host.run(args);
  HFileLog::flush_all();
  end_process(code);
}
