#pragma once
// The agent's home for a fuzz target: a private folder (in /dev/shm when it
// exists, so that the store's fsyncs cost nothing), made the home and the
// core's folder, with alarm windows headless and the agent's standard output
// (alarm echoes) silenced. The folder is removed when the process ends.
#include <string>

class FuzzHome {
 public:
  // The one home of this process, made on first use.
  static FuzzHome& ins();

  std::string file(const std::string& relative) const { return str_path + "/" + relative; }
  // Empties the core's files every so many calls, so that a long run does
  // not fill the disk with accepted reports and alarms.
  void trim_core(unsigned every);
  // Writes `bytes` to `path` (created or replaced).
  static bool write_file(const std::string& path, const void* bytes, size_t length);
  static std::string read_file(const std::string& path);

 private:
  FuzzHome();
  std::string str_path;
  unsigned u_calls = 0;
};
