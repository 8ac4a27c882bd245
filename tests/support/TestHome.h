#pragma once
// A temporary folder made the agent's home (and the core's folder, HOME/core)
// for one test, removed afterwards, and helpers to read back what the host
// writes there.
#include <functional>
#include <string>
#include <vector>

#include "host/HString.h"
#include "tests/support/TempDir.h"

namespace tidewell_test {

class TestHome {
 public:
  explicit TestHome(const std::string& tag = "tidewell-home");

  const std::string& path() const { return tmp_dir.path(); }
  std::string file(const std::string& relative) const { return tmp_dir.file(relative); }
  // The blocks handed to the core so far, one JSON line each.
  std::vector<std::string> reports() const;

 private:
  TempDir tmp_dir;
};

// The whole file; empty when it cannot be read.
std::string read_file(const std::string& path);
std::vector<std::string> read_lines(const std::string& path);
// True when every byte was written.
bool write_file(const std::string& path, const std::string& bytes);
bool file_exists(const std::string& path);
// Non-overlapping occurrences; none of an empty needle.
size_t count_of(const std::string& haystack, const std::string& needle);
std::string narrow(const HString& text);
// Polls `done` every 10 ms for up to `timeout_ms`.
bool eventually(const std::function<bool()>& done, int timeout_ms = 5000);
// The general log as written so far.
std::string general_log();

}  // namespace tidewell_test
