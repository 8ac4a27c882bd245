#pragma once
// A fresh folder under the system's temporary folder, removed with all it
// holds when the object goes.
#include <string>

namespace tidewell_test {

class TempDir {
 public:
  // The folder is named `tag` followed by a unique suffix.
  explicit TempDir(const std::string& tag);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return str_path; }
  std::string file(const std::string& relative) const { return str_path + "/" + relative; }

 private:
  std::string str_path;
};

}  // namespace tidewell_test
