// The home's files on Windows: plain opens (there are no symbolic links
// for a user to plant without the right to make them, and no FIFOs); the
// start-up checks of the Linux agent have no counterpart here.
#include "host/win/PosixCompat.h"

#include "host/HHomeDir.h"

#include <cerrno>
#include <cstring>

#include "host/HFileUtil.h"

std::string HHomeDir::open_home(const std::string& /*folder*/) { return std::string(); }

std::string HHomeDir::lock_home() { return std::string(); }

std::string HHomeDir::check_folder(const std::string& /*name*/) { return std::string(); }

std::string HHomeDir::check_file(const std::string& /*relative*/) { return std::string(); }

int HHomeDir::open_file(const std::string& path, int flags) {
  if ((flags & O_CREAT) && HFileUtil::make_dirs(HFileUtil::dir_name(path)) != 0) return -1;
  return ::open(path.c_str(), flags | O_CLOEXEC, 0600);
}

int HHomeDir::rename_file(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()); }

int HHomeDir::append_whole(int fd, const void* data, size_t length, bool sync) {
  long long before = ::_lseeki64(fd, 0, SEEK_END);
  if (before < 0) return -1;
  errno = 0;
  if (HFileUtil::write_all(fd, data, length) == 0 && (!sync || ::_commit(fd) == 0)) return 0;
  int error = errno != 0 ? errno : ENOSPC;
  ::_chsize_s(fd, before);
  errno = error;
  return -1;
}
