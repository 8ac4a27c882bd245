// File helpers on Linux that touch the file system or read paths its way.
#include "host/HFileSystem.h"
#include "host/HFileUtil.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool HFileUtil::is_absolute(const HString& path) { return !path.empty() && path.wstr()[0] == L'/'; }

std::string HFileUtil::dir_name(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return std::string();
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

int HFileUtil::make_dirs(const std::string& folder) {
  if (folder.empty()) return 0;
  struct stat st;
  if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : -1;
  std::string parent = dir_name(folder);
  if (!parent.empty() && parent != folder && make_dirs(parent) != 0) return -1;
  if (::mkdir(folder.c_str(), 0755) == 0 || errno == EEXIST) {
    return (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ? 0 : -1;
  }
  return -1;
}

long write_some(int fd, const char* data, size_t length) { return static_cast<long>(::write(fd, data, length)); }

int HFileUtil::sync_dir(const std::string& folder) {
  int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  int rc = ::fsync(fd);
  ::close(fd);
  return rc == 0 ? 0 : -1;
}
