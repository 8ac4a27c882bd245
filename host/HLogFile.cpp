#include "host/HLogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "host/HHomeDir.h"

int HLogFile::open_path(const std::string& path, bool truncate) {
  close();
  str_path = path;
  i_fd = HHomeDir::open_file(str_path, O_WRONLY | O_CREAT | O_APPEND | (truncate ? O_TRUNC : 0));
  if (i_fd < 0) return -1;
  struct stat st;
  ull_length = ::fstat(i_fd, &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
  return 0;
}

void HLogFile::close() {
  if (i_fd >= 0) ::close(i_fd);
  i_fd = -1;
  ull_length = 0;
}

int HLogFile::append(const char* data, size_t length) {
  if (length == 0) return 0;
  if (i_fd < 0) return -1;
  if (HHomeDir::append_whole(i_fd, data, length) != 0) {
    HHomeDir::note_failure(str_path, errno);
    return -1;
  }
  HHomeDir::note_success(str_path);
  ull_length += length;
  return 0;
}

void HLogFile::roll_over() {
  close();
  ::rename(str_path.c_str(), (str_path + ".1").c_str());
  open_path(str_path, false);
}

void HLogFile::start_over() { open_path(str_path, true); }
