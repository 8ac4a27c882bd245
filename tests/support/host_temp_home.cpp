#include "tests/support/host_temp_home.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/HEnvironment.h"

HostTempHome::HostTempHome() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "host_home_XXXXXX").string();
  if (::mkdtemp(tmpl.data())) str_path = tmpl;
  HEnvironment::set_home(HString(str_path));
}

HostTempHome::~HostTempHome() {
  std::error_code ec;
  if (!str_path.empty()) std::filesystem::remove_all(str_path, ec);
}

bool HostTempHome::exists(const std::string& path) { return std::filesystem::exists(path); }

std::string HostTempHome::read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::vector<std::string> HostTempHome::lines(const std::string& path) {
  std::vector<std::string> out;
  std::istringstream in(read(path));
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

void HostTempHome::write(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}
