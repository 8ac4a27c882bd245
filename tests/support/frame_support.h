#pragma once
// Helpers for the plug-in frame's tests: a settable clock, records, reading
// the general log back from an offset, and archives written by hand.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "host/ARPSpoofingReport_Local.h"
#include "host/HString.h"
#include "tests/support/CoreRecorder.h"
#include "tests/support/TestHome.h"

namespace frame_test {

using tidewell_test::Block;
using tidewell_test::CoreRecorder;
using tidewell_test::count_of;
using tidewell_test::file_exists;
using tidewell_test::narrow;
using tidewell_test::read_file;
using TempHome = tidewell_test::TestHome;

// A settable system clock (seconds since 1970), restored on destruction.
class FakeClock {
 public:
  explicit FakeClock(int64_t now);
  ~FakeClock();
  void set(int64_t now);

 private:
  std::mutex mtx_now;
  int64_t i_now;
};

ARPSpoofingReport_Local make_record(const std::string& policy, const std::string& desc, const std::string& mac,
                                    int32_t elapsed = 0);

// The general log from the given offset on (lets a test look only at what
// it caused); `log_size()` gives the offset to start from.
size_t log_size();
std::string log_since(size_t offset);

// Writes an archive by hand, payload as 32-bit values and raw records, for
// tests of damaged or implausible archives.
class ArchiveWriter {
 public:
  ArchiveWriter(const std::string& path, int version);
  ArchiveWriter& value(int v);
  ArchiveWriter& record(ARPSpoofingReport_Local record);
  // Writes the queue as the store lays it out (blocks whose records carry
  // no id as archives written before ids).
  ArchiveWriter& queue(const std::vector<Block>& entries);
  int commit();

 private:
  std::string str_path;
  int i_version;
  struct Item {
    bool b_value;
    int value;
    ARPSpoofingReport_Local record;
  };
  std::vector<Item> vt_items;
};

}  // namespace frame_test
