#include "tests/support/TestHome.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "frame/AttackLog.h"
#include "host/HDataCenter.h"
#include "host/HEnvironment.h"
#include "host/HFileLog.h"

namespace tidewell_test {

TestHome::TestHome(const std::string& tag) : tmp_dir(tag) {
  HEnvironment::set_home(HString(path()));
  HDataCenter::set_core_dir(HString(file("core")));
  // The logs of an earlier test of this program follow to this home; before
  // its first line the general log finds the home by itself.
  if (narrow(HFileLog::ins().file_path()).rfind(path(), 0) != 0) {
    HFileLog::ins().set_path(HString(path()) + HString(L"/log"), L"Velmora");
  }
  attack_log_follow_home();
}

std::vector<std::string> TestHome::reports() const { return read_lines(file("core/reports.jsonl")); }

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::vector<std::string> read_lines(const std::string& path) {
  std::vector<std::string> out;
  std::istringstream in(read_file(path));
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

bool write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  out.close();
  return static_cast<bool>(out);
}

bool file_exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(path, ignored);
}

size_t count_of(const std::string& haystack, const std::string& needle) {
  if (needle.empty()) return 0;
  size_t n = 0;
  for (size_t pos = haystack.find(needle); pos != std::string::npos; pos = haystack.find(needle, pos + needle.size())) {
    ++n;
  }
  return n;
}

std::string narrow(const HString& text) { return text.get_str_direct(); }

std::string general_log() { return read_file(narrow(HFileLog::ins().file_path())); }

bool eventually(const std::function<bool()>& done, int timeout_ms) {
  for (int waited = 0; waited <= timeout_ms; waited += 10) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

}  // namespace tidewell_test
