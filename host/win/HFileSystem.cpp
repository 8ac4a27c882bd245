// File helpers on Windows that touch the file system or read paths its way.
// Paths keep "/" as separator, which Windows accepts, and go to the file
// system as wide text.
#include "host/HFileSystem.h"
#include "host/HFileUtil.h"

#include <windows.h>

#include <cerrno>
#include <io.h>

namespace {

std::wstring wide_path(const std::string& path) {
  HString text = HFileUtil::from_utf8(path);
  return text.wstr();
}

// "C:" and "C:/": the root of a drive, which always exists.
bool is_drive_root(const std::string& folder) {
  return (folder.size() == 2 || (folder.size() == 3 && folder[2] == '/')) && folder[1] == ':';
}

bool is_directory(const std::wstring& folder) {
  DWORD attributes = ::GetFileAttributesW(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

// "/x" and "\\x" start at the root of the current drive (or a share), "C:/x"
// at a drive's; "C:x" is relative to that drive's current folder and is not.
bool HFileUtil::is_absolute(const HString& path) {
  const std::wstring& w = path.wstr();
  if (!w.empty() && (w[0] == L'/' || w[0] == L'\\')) return true;
  bool drive = w.size() >= 3 && ((w[0] >= L'A' && w[0] <= L'Z') || (w[0] >= L'a' && w[0] <= L'z')) && w[1] == L':';
  return drive && (w[2] == L'/' || w[2] == L'\\');
}

std::string HFileUtil::dir_name(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return std::string();
  if (slash == 0) return "/";
  // The folder of "C:/x" is the drive's root, not the drive's current folder.
  if (slash == 2 && path[1] == ':') return path.substr(0, 3);
  return path.substr(0, slash);
}

int HFileUtil::make_dirs(const std::string& folder) {
  if (folder.empty() || folder == "/" || is_drive_root(folder)) return 0;
  std::wstring wide = wide_path(folder);
  if (::GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES) return is_directory(wide) ? 0 : -1;
  std::string parent = dir_name(folder);
  if (!parent.empty() && parent != folder && make_dirs(parent) != 0) return -1;
  if (::CreateDirectoryW(wide.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS) {
    return is_directory(wide) ? 0 : -1;
  }
  return -1;
}

// _write takes an unsigned count: a larger write goes in parts.
long write_some(int fd, const char* data, size_t length) {
  unsigned chunk = length > 0x40000000u ? 0x40000000u : static_cast<unsigned>(length);
  return ::_write(fd, data, chunk);
}

// A folder cannot be flushed on Windows; the rename that this follows is
// written through (MOVEFILE_WRITE_THROUGH) instead.
int HFileUtil::sync_dir(const std::string& /*folder*/) { return 0; }
