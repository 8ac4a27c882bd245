#include "tests/support/frame_support.h"

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "host/HArchiveFile.h"
#include "host/HDataCenter.h"
#include "host/HEnvironment.h"
#include "host/HFileLog.h"
#include "platform/WinTime.h"

namespace frame_test {

TempHome::TempHome() {
  std::string pattern = (std::filesystem::temp_directory_path() / "frame_test_XXXXXX").string();
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
  str_path = buf.data();
  HEnvironment::set_home(HString(str_path));
  HDataCenter::set_core_dir(HString(str_path + "/core"));
}

TempHome::~TempHome() {
  std::error_code ec;
  std::filesystem::remove_all(str_path, ec);
}

CoreRecorder::CoreRecorder() {
  fn_decision = [](const Block&) { return true; };
  HDataCenter::set_core_hook([this](const Block& block) {
    std::lock_guard<std::mutex> lock(mtx_blocks);
    vt_blocks.push_back(block);
    return fn_decision(block);
  });
}

CoreRecorder::~CoreRecorder() { HDataCenter::set_core_hook(nullptr); }

void CoreRecorder::accept_all(bool accept) {
  decide([accept](const Block&) { return accept; });
}

void CoreRecorder::decide(std::function<bool(const Block&)> decision) {
  std::lock_guard<std::mutex> lock(mtx_blocks);
  fn_decision = std::move(decision);
}

std::vector<Block> CoreRecorder::blocks() {
  std::lock_guard<std::mutex> lock(mtx_blocks);
  return vt_blocks;
}

size_t CoreRecorder::calls() {
  std::lock_guard<std::mutex> lock(mtx_blocks);
  return vt_blocks.size();
}

FakeClock::FakeClock(int64_t now) : i_now(now) {
  platform::set_time_source([this]() {
    std::lock_guard<std::mutex> lock(mtx_now);
    return static_cast<__time64_t>(i_now);
  });
}

FakeClock::~FakeClock() { platform::set_time_source(nullptr); }

void FakeClock::set(int64_t now) {
  std::lock_guard<std::mutex> lock(mtx_now);
  i_now = now;
}

ARPSpoofingReport_Local make_record(const std::string& policy, const std::string& desc, const std::string& mac,
                                    int32_t elapsed) {
  ARPSpoofingReport_Local record;
  record.strPolicyID = HString(policy);
  record.iAttackType = 1;
  record.iElapsed = elapsed;
  record.str_desc = HString(desc);
  record.mapDesc[HString("mac")] = HString(mac);
  return record;
}

std::string narrow(const HString& text) { return text.get_str_direct(); }

std::string desc_of(const ARPSpoofingReport_Local& record) { return narrow(record.str_desc); }

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool file_exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

size_t count_of(const std::string& haystack, const std::string& needle) {
  size_t count = 0;
  for (size_t pos = haystack.find(needle); pos != std::string::npos; pos = haystack.find(needle, pos + 1)) ++count;
  return count;
}

size_t log_size() { return read_file(narrow(HFileLog::ins().file_path())).size(); }

std::string log_since(size_t offset) {
  std::string all = read_file(narrow(HFileLog::ins().file_path()));
  return offset < all.size() ? all.substr(offset) : std::string();
}

ArchiveWriter::ArchiveWriter(const std::string& path, int version) : str_path(path), i_version(version) {}

ArchiveWriter& ArchiveWriter::value(int v) {
  vt_items.push_back(Item{true, v, ARPSpoofingReport_Local()});
  return *this;
}

ArchiveWriter& ArchiveWriter::record(ARPSpoofingReport_Local record) {
  vt_items.push_back(Item{false, 0, std::move(record)});
  return *this;
}

ArchiveWriter& ArchiveWriter::queue(const std::vector<Block>& entries) {
  value(static_cast<int>(entries.size()));
  for (const Block& entry : entries) {
    value(static_cast<int>(entry.size()));
    for (const ARPSpoofingReport_Local& r : entry) record(r);
  }
  return *this;
}

int ArchiveWriter::commit() {
  HArchiveFile file;
  file.set_name(HString(str_path));
  file.get_mem().set_version(i_version);
  if (file.prepare_write() != 0) return -1;
  HArchiveMem& mem = file.get_mem();
  for (Item& item : vt_items) {
    if (item.b_value) {
      mem.write_basic(item.value);
    } else {
      item.record.__inter_set_arc_obj(&mem);
      item.record.arc_write();
    }
  }
  return file.commit_write();
}

}  // namespace frame_test
