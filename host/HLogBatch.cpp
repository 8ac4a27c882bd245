#include "host/HLogBatch.h"

#include <utility>

// The line that came last starts the next file; the lines before it are
// kept as the file before, and those of the file before that let go.
void HLogBatch::line_added(size_t line_length, bool starts_file) {
  if (!starts_file) return;
  std::swap(str_before, str_last);
  size_t at = str_before.size() - line_length;
  str_last.assign(str_before, at, std::string::npos);
  str_before.resize(at);
  if (i_rolls < 2) ++i_rolls;
}

// After one roll-over the lines before it go to the current file; after
// more, the current file would be deleted by a later roll-over anyway, so
// it is made anew with the lines of the file before the last.
int HLogBatch::write_to(HLogFile& file) {
  if (empty()) return 0;
  int rc = 0;
  if (i_rolls > 0) {
    if (i_rolls > 1) file.start_over();
    rc |= file.append(str_before.data(), str_before.size());
    file.roll_over();
  }
  rc |= file.append(str_last.data(), str_last.size());
  str_last.clear();
  str_before.clear();
  i_rolls = 0;
  return rc == 0 ? 0 : -1;
}
