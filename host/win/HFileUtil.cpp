// File helpers on Windows. Wide text is UTF-16 here: a surrogate pair is one
// code point in UTF-8. Paths keep "/" as separator, which Windows accepts,
// and go to the file system as wide text.
#include "host/HFileUtil.h"

#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <io.h>

namespace {

bool is_high_surrogate(uint32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool is_low_surrogate(uint32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void append_code_point(std::string& out, uint32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

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

// One character at a time, a lone half of a surrogate pair cannot be
// encoded: it becomes U+FFFD. utf8() below keeps pairs whole.
void HFileUtil::append_utf8(std::string& out, wchar_t c) { append_code_point(out, static_cast<uint16_t>(c)); }

size_t HFileUtil::append_utf8(std::string& out, const wchar_t* text, size_t count) {
  if (!text || count == 0) return 0;
  uint32_t c = static_cast<uint16_t>(text[0]);
  if (is_high_surrogate(c) && count > 1 && is_low_surrogate(static_cast<uint16_t>(text[1]))) {
    append_code_point(out, 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint16_t>(text[1]) - 0xDC00));
    return 2;
  }
  append_code_point(out, c);
  return 1;
}

std::string HFileUtil::utf8(const HString& text) {
  const std::wstring& w = text.wstr();
  std::string out;
  out.reserve(w.size());
  for (size_t i = 0; i < w.size(); ++i) {
    uint32_t c = static_cast<uint16_t>(w[i]);
    if (is_high_surrogate(c) && i + 1 < w.size() && is_low_surrogate(static_cast<uint16_t>(w[i + 1]))) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint16_t>(w[i + 1]) - 0xDC00);
      ++i;
    }
    append_code_point(out, c);
  }
  return out;
}

HString HFileUtil::from_utf8(const std::string& bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    unsigned char b = static_cast<unsigned char>(bytes[i]);
    int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    uint32_t cp = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    bool ok = extra >= 0 && i + static_cast<size_t>(extra) < bytes.size();
    for (int k = 1; ok && k <= extra; ++k) {
      unsigned char c = static_cast<unsigned char>(bytes[i + static_cast<size_t>(k)]);
      if ((c & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (c & 0x3F);
    }
    static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (!ok || cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out += static_cast<wchar_t>(0xFFFD);
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      out += static_cast<wchar_t>(0xD800 | ((cp - 0x10000) >> 10));
      out += static_cast<wchar_t>(0xDC00 | ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<wchar_t>(cp);
    }
    i += static_cast<size_t>(extra) + 1;
  }
  return HString(out);
}

HString HFileUtil::normalize(const HString& path) {
  std::wstring out;
  out.reserve(path.wstr().size());
  for (wchar_t c : path.wstr()) {
    if (c == L'\\') c = L'/';
    if (c == L'/' && !out.empty() && out.back() == L'/') continue;
    out += c;
  }
  while (out.size() > 1 && out.back() == L'/') out.pop_back();
  return HString(out);
}

// "/x" and "\\x" start at the root of the current drive (or a share), "C:/x"
// at a drive's; "C:x" is relative to that drive's current folder and is not.
bool HFileUtil::is_absolute(const HString& path) {
  const std::wstring& w = path.wstr();
  if (!w.empty() && (w[0] == L'/' || w[0] == L'\\')) return true;
  bool drive = w.size() >= 3 && ((w[0] >= L'A' && w[0] <= L'Z') || (w[0] >= L'a' && w[0] <= L'z')) && w[1] == L':';
  return drive && (w[2] == L'/' || w[2] == L'\\');
}

std::string HFileUtil::native_path(const HString& path) { return utf8(normalize(path)); }

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

int HFileUtil::write_all(int fd, const void* data, size_t length) {
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    unsigned chunk = length > 0x40000000u ? 0x40000000u : static_cast<unsigned>(length);
    int n = ::_write(fd, p, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) return -1;
    p += n;
    length -= static_cast<size_t>(n);
  }
  return 0;
}

// A folder cannot be flushed on Windows; the rename that this follows is
// written through (MOVEFILE_WRITE_THROUGH) instead.
int HFileUtil::sync_dir(const std::string& /*folder*/) { return 0; }
