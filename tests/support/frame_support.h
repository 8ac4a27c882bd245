#pragma once
// Helpers for the plug-in frame's tests: a fresh agent home, a recording
// agent core, a settable clock and reading the logs back.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "host/ARPSpoofingReport_Local.h"
#include "host/HString.h"

namespace frame_test {

typedef std::vector<ARPSpoofingReport_Local> Block;

// A temporary folder made the agent's home (and the core's folder) for the
// life of the object.
class TempHome {
 public:
  TempHome();
  ~TempHome();
  const std::string& path() const { return str_path; }
  std::string file(const std::string& relative) const { return str_path + "/" + relative; }

 private:
  std::string str_path;
};

// Stands in for the agent core: records every block it is given and
// accepts or refuses it as told.
class CoreRecorder {
 public:
  CoreRecorder();
  ~CoreRecorder();
  // Accept everything (true) or refuse everything (false).
  void accept_all(bool accept);
  // Decide per block; the block is recorded whatever the answer.
  void decide(std::function<bool(const Block&)> decision);
  std::vector<Block> blocks();
  size_t calls();

 private:
  std::mutex mtx_blocks;
  std::vector<Block> vt_blocks;
  std::function<bool(const Block&)> fn_decision;
};

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
// The record's report id as narrow text (for readable expectations).
std::string desc_of(const ARPSpoofingReport_Local& record);
std::string narrow(const HString& text);

std::string read_file(const std::string& path);
bool file_exists(const std::string& path);
size_t count_of(const std::string& haystack, const std::string& needle);

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
  // Writes the queue as the store lays it out.
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
