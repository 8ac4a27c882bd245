// Made with std::filesystem alone, so that the Windows build of the tests
// (which has no mkdtemp) makes it the same way.
#include "tests/support/TempDir.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace tidewell_test {

namespace {
// Unique within the process by the counter, across processes by the clock.
std::string unique_suffix() {
  static std::atomic<unsigned> counter{0};
  auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  return std::to_string(static_cast<unsigned long long>(now) % 1000000007ull) + "-" + std::to_string(counter++);
}
}  // namespace

TempDir::TempDir(const std::string& tag) {
  std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path candidate = base / (tag + "-" + unique_suffix());
    std::error_code error;
    if (std::filesystem::create_directory(candidate, error)) {
      str_path = candidate.generic_string();
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder for " + tag);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(str_path, ignored);
}

}  // namespace tidewell_test
