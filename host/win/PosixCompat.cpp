// Not compiled with PosixCompat.h included first: this file calls the
// Windows functions that the header's names stand for.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

namespace {
std::wstring wide_path(const char* path) {
  if (!path) return std::wstring();
  int n = ::MultiByteToWideChar(CP_UTF8, 0, path, -1, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, path, -1, &out[0], n);
  out.resize(static_cast<size_t>(n) - 1);
  return out;
}

int set_errno_from_last_error() {
  switch (::GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      errno = ENOENT;
      break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      errno = EACCES;
      break;
    default:
      errno = EIO;
  }
  return -1;
}
}  // namespace

namespace tidewell_posix {

int open(const char* path, int flags, int mode) {
  std::wstring wide = wide_path(path);
  if (wide.empty()) {
    errno = ENOENT;
    return -1;
  }
  int permissions = (mode & 0200) ? (_S_IREAD | _S_IWRITE) : _S_IREAD;
  return ::_wopen(wide.c_str(), flags | _O_BINARY, permissions);
}

int rename(const char* from, const char* to) {
  std::wstring source = wide_path(from);
  std::wstring target = wide_path(to);
  if (source.empty() || target.empty()) {
    errno = ENOENT;
    return -1;
  }
  DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  return ::MoveFileExW(source.c_str(), target.c_str(), flags) ? 0 : set_errno_from_last_error();
}

int unlink(const char* path) {
  std::wstring wide = wide_path(path);
  return wide.empty() ? (errno = ENOENT, -1) : ::_wunlink(wide.c_str());
}

}  // namespace tidewell_posix

int fsync(int fd) { return ::_commit(fd); }

int fdatasync(int fd) { return ::_commit(fd); }

long gettid() { return static_cast<long>(::GetCurrentThreadId()); }
