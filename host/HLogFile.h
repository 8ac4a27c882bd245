#pragma once
// The file a log writes: opened by name with O_APPEND, written a whole
// line (or gathered lines) at a time, and at its maximum length rolled over:
// renamed to PATH.1, replacing the previous one, and started anew.
#include <cstddef>
#include <cstdint>
#include <string>

class HLogFile {
 public:
  HLogFile() = default;
  ~HLogFile() { close(); }
  HLogFile(const HLogFile&) = delete;
  HLogFile& operator=(const HLogFile&) = delete;

  void set_max_length(unsigned long max_length) { ul_max_length = max_length; }
  // Whether `line_length` bytes behind `file_length` start a new file.
  bool starts_new_file(uint64_t file_length, size_t line_length) const {
    return ul_max_length > 0 && file_length > 0 && file_length + line_length > ul_max_length;
  }

  // 0, or -1 when the file cannot be opened; `truncate` empties it.
  int open_path(const std::string& path, bool truncate);
  bool is_open() const { return i_fd >= 0; }
  void close();
  uint64_t length() const { return ull_length; }
  // Written whole or not at all: a full disk must not leave half a line for
  // the next one to be glued to. A failure is counted for the summary (the
  // log cannot log its own). 0 or -1.
  int append(const char* data, size_t length);
  void roll_over();
  // Opens the same file again, emptied.
  void start_over();

 private:
  unsigned long ul_max_length = 10 * 1024 * 1024;
  int i_fd = -1;
  std::string str_path;
  uint64_t ull_length = 0;
};
