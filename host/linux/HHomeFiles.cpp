// The home's files on Linux: every folder below the home is opened through
// its parent's descriptor with O_NOFOLLOW, every file with O_NOFOLLOW and
// O_NONBLOCK (a FIFO opens without waiting for a peer, and is then refused
// as not a regular file).
#include "host/HHomeDir.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "host/HFileUtil.h"

namespace {

// Set once by the agent before any thread starts.
int g_home_fd = -1;
std::string g_home;
int g_lock_fd = -1;

constexpr const char* LOCK_NAME = ".velmora.lock";
constexpr const char* WRITE_CHECK_NAME = ".velmora-write-check";

void close_keeping_errno(int fd) {
  int saved = errno;
  ::close(fd);
  errno = saved;
}

// `name` in the folder `dir` as a regular file, opened with `flags`.
int open_regular(int dir, const std::string& name, int flags) {
  int fd = ::openat(dir, name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  int status = ::fcntl(fd, F_GETFL);
  if (status == -1 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) == -1) {
    close_keeping_errno(fd);
    return -1;
  }
  return fd;
}

// The folder `name` in `dir`, without following a link; created 0700 when
// missing and `create` is set.
int open_folder(int dir, const std::string& name, bool create) {
  const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  int fd = ::openat(dir, name.c_str(), flags);
  if (fd < 0 && errno == ENOENT && create && (::mkdirat(dir, name.c_str(), 0700) == 0 || errno == EEXIST)) {
    fd = ::openat(dir, name.c_str(), flags);
  }
  return fd;
}

// The folder of `path` when it lies below the home: walked down from the
// home's descriptor one folder at a time. `name` gets the file's name.
int open_below_home(const std::string& path, bool create, std::string& name) {
  std::string rest = path.substr(g_home.size() + 1);
  int dir = ::fcntl(g_home_fd, F_DUPFD_CLOEXEC, 0);
  size_t slash;
  while (dir >= 0 && (slash = rest.find('/')) != std::string::npos) {
    std::string folder = rest.substr(0, slash);
    rest.erase(0, slash + 1);
    int next = folder == ".." ? (errno = EINVAL, -1) : open_folder(dir, folder, create);
    close_keeping_errno(dir);
    dir = next;
  }
  name = rest;
  return dir;
}

// The folder of `path`, and in `name` the file's name.
int open_parent(const std::string& path, bool create, std::string& name) {
  if (g_home_fd >= 0 && path.size() > g_home.size() + 1 && path.compare(0, g_home.size(), g_home) == 0 &&
      path[g_home.size()] == '/') {
    return open_below_home(path, create, name);
  }
  std::string folder = HFileUtil::dir_name(path);
  name = folder.empty() ? path : path.substr(folder.size() + (folder == "/" ? 0 : 1));
  if (folder.empty()) folder = ".";
  if (create && HFileUtil::make_dirs(folder) != 0) return -1;
  return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// Why a folder of the home is unsafe to write in as root ("" when it is not).
std::string mode_problem(const struct stat& st, const std::string& path) {
  if (st.st_mode & (S_IWGRP | S_IWOTH)) {
    char mode[8];
    std::snprintf(mode, sizeof(mode), "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return path + " is writable by other users (mode " + mode + ")";
  }
  if (st.st_uid != ::geteuid() && st.st_uid != 0) return path + " belongs to another user";
  return std::string();
}

// Why `name` in `dir` could not be opened: a link and a special file said as such.
std::string open_problem(int dir, const std::string& name, const std::string& path, int error) {
  struct stat st {};
  if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISLNK(st.st_mode)) return path + " is a symbolic link";
    if (error == ENOTDIR) return path + " is not a folder";
    if (error == EINVAL) return path + " is not a regular file";
  }
  return path + ": " + std::strerror(error);
}

std::string path_in_home(const std::string& relative) {
  return relative.empty() ? g_home : g_home + "/" + relative;
}

}  // namespace

std::string HHomeDir::open_home(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return open_problem(AT_FDCWD, folder, folder, errno);
  struct stat st {};
  std::string problem = ::fstat(fd, &st) == 0 ? mode_problem(st, folder) : folder + ": " + std::strerror(errno);
  if (!problem.empty()) {
    ::close(fd);
    return problem;
  }
  if (g_home_fd >= 0) ::close(g_home_fd);
  g_home_fd = fd;
  g_home = folder;
  return std::string();
}

std::string HHomeDir::lock_home() {
  std::string path = path_in_home(LOCK_NAME);
  int fd = open_regular(g_home_fd, LOCK_NAME, O_RDWR | O_CREAT);
  if (fd < 0) return open_problem(g_home_fd, LOCK_NAME, path, errno);
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int error = errno;
    char pid[32] = {0};
    ssize_t n = ::pread(fd, pid, sizeof(pid) - 1, 0);
    ::close(fd);
    if (error != EWOULDBLOCK) return path + ": " + std::strerror(error);
    std::string holder = n > 0 ? std::string(pid, std::strcspn(pid, "\n")) : std::string("unknown");
    return g_home + " is in use by another agent (process " + holder + ", lock " + path + ")";
  }
  std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
    std::string problem = path + ": " + std::strerror(errno);
    ::close(fd);
    return problem;
  }
  g_lock_fd = fd;  // held until the process ends
  return std::string();
}

std::string HHomeDir::check_folder(const std::string& name) {
  std::string path = path_in_home(name);
  int dir = name.empty() ? ::fcntl(g_home_fd, F_DUPFD_CLOEXEC, 0) : open_folder(g_home_fd, name, true);
  if (dir < 0) return open_problem(g_home_fd, name, path, errno);
  struct stat st {};
  std::string problem = ::fstat(dir, &st) == 0 ? mode_problem(st, path) : path + ": " + std::strerror(errno);
  if (problem.empty()) {
    int fd = open_regular(dir, WRITE_CHECK_NAME, O_WRONLY | O_CREAT | O_TRUNC);
    int error = errno;
    if (fd < 0 && (error == ELOOP || error == EINVAL)) {
      problem = open_problem(dir, WRITE_CHECK_NAME, path + "/" + WRITE_CHECK_NAME, error);
    } else if (fd < 0) {
      problem = path + ": " + std::strerror(error);  // a folder that takes no file
    } else {
      if (::write(fd, "1", 1) != 1) problem = path + ": " + std::strerror(errno);
      ::close(fd);
      ::unlinkat(dir, WRITE_CHECK_NAME, 0);
    }
  }
  ::close(dir);
  return problem;
}

std::string HHomeDir::check_file(const std::string& relative) {
  struct stat st {};
  if (::fstatat(g_home_fd, relative.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT ? std::string() : path_in_home(relative) + ": " + std::strerror(errno);
  }
  if (S_ISLNK(st.st_mode)) return path_in_home(relative) + " is a symbolic link";
  if (!S_ISREG(st.st_mode)) return path_in_home(relative) + " is not a regular file";
  return std::string();
}

int HHomeDir::open_file(const std::string& path, int flags) {
  std::string name;
  int dir = open_parent(path, (flags & O_CREAT) != 0, name);
  if (dir < 0) return -1;
  int fd = open_regular(dir, name, flags);
  close_keeping_errno(dir);
  return fd;
}

int HHomeDir::rename_file(const std::string& from, const std::string& to) {
  if (HFileUtil::dir_name(from) != HFileUtil::dir_name(to)) {
    errno = EXDEV;
    return -1;
  }
  std::string name;
  int dir = open_parent(to, false, name);
  if (dir < 0) return -1;
  std::string from_name = from.substr(from.find_last_of('/') + 1);
  int result = ::renameat(dir, from_name.c_str(), dir, name.c_str());
  if (result == 0) result = ::fsync(dir);
  close_keeping_errno(dir);
  return result;
}

int HHomeDir::append_whole(int fd, const void* data, size_t length, bool sync) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return -1;
  // Normally one write; after a short one the rest is tried, for the
  // reason why it stopped.
  errno = 0;
  if (HFileUtil::write_all(fd, data, length) == 0 && (!sync || ::fdatasync(fd) == 0)) return 0;
  int error = errno != 0 ? errno : ENOSPC;
  if (::ftruncate(fd, st.st_size) != 0) error = errno;
  errno = error;
  return -1;
}
