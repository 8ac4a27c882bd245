#include "host/HFileUtil.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

void HFileUtil::append_utf8(std::string& out, wchar_t c) {
  uint32_t cp = static_cast<uint32_t>(c);
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

size_t HFileUtil::append_utf8(std::string& out, const wchar_t* text, size_t count) {
  if (!text || count == 0) return 0;
  append_utf8(out, text[0]);
  return 1;
}

std::string HFileUtil::utf8(const HString& text) {
  std::string out;
  out.reserve(static_cast<size_t>(text.length()));
  for (wchar_t c : text.wstr()) append_utf8(out, c);
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
    out += static_cast<wchar_t>(cp);
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

bool HFileUtil::is_absolute(const HString& path) { return !path.empty() && path.wstr()[0] == L'/'; }

std::string HFileUtil::native_path(const HString& path) { return utf8(normalize(path)); }

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

int HFileUtil::write_all(int fd, const void* data, size_t length) {
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    ssize_t n = ::write(fd, p, length);
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

int HFileUtil::sync_dir(const std::string& folder) {
  int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  int rc = ::fsync(fd);
  ::close(fd);
  return rc == 0 ? 0 : -1;
}
