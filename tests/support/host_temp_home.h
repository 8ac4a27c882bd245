#pragma once
// A fresh temporary folder used as the agent's home for one test, removed
// afterwards, with small helpers to look at the files the host writes.
#include <string>
#include <vector>

class HostTempHome {
 public:
  HostTempHome();
  ~HostTempHome();
  HostTempHome(const HostTempHome&) = delete;
  HostTempHome& operator=(const HostTempHome&) = delete;

  const std::string& path() const { return str_path; }
  std::string file(const std::string& relative) const { return str_path + "/" + relative; }

  static bool exists(const std::string& path);
  static std::string read(const std::string& path);
  static std::vector<std::string> lines(const std::string& path);
  static void write(const std::string& path, const std::string& bytes);

 private:
  std::string str_path;
};
