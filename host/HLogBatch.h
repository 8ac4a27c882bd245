#pragma once
// The lines a log gathers while a thread's batch lives, with the roll-overs
// among them reckoned as single writes would make them. Of the files that
// gathered lines fill, only the last two can outlive the write (the file and
// its ".1"), so the lines of any file before those are let go at once: a
// flood's lines stay within two files' length, and the files end up byte
// for byte as after single writes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/HLogFile.h"

class HLogBatch {
 public:
  bool empty() const { return str_last.empty() && i_rolls == 0; }
  size_t memory() const { return str_last.size() + str_before.size(); }
  // The length of the file that the next line goes to, with the gathered
  // lines counted as written.
  uint64_t file_length(const HLogFile& file) const {
    return i_rolls == 0 ? file.length() + str_last.size() : str_last.size();
  }
  // Gathers a line (newline included); `starts_file`: it starts a new file.
  void add(const std::string& line, bool starts_file) {
    str_last += line;
    line_added(line.size(), starts_file);
  }
  // A line may also be made in place: appended to text(), then told of.
  std::string& text() { return str_last; }
  void line_added(size_t line_length, bool starts_file);
  // Writes what has gathered, one write per file: 0, or -1 when a write failed.
  int write_to(HLogFile& file);

 private:
  std::string str_last;    // the lines of the last file
  std::string str_before;  // after a roll-over, those of the file before
  int i_rolls = 0;         // roll-overs gathered, counted up to 2
};
