#include "host/HLogBatch.h"

#include <utility>

void HLogBatch::add(const std::string& line, bool starts_file) {
  if (starts_file) {
    std::swap(str_before, str_last);
    str_last.clear();
    if (i_rolls < 2) ++i_rolls;
  }
  str_last += line;
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
