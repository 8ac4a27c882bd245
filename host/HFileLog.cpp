#include "host/HFileLog.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "host/HEnvironment.h"
#include "host/HFileUtil.h"

namespace {

long thread_id() {
  thread_local long tid = static_cast<long>(::gettid());
  return tid;
}

void pad(std::wstring& out, size_t used, int width, bool left, wchar_t fill, size_t at) {
  if (width <= 0 || used >= static_cast<size_t>(width)) return;
  size_t n = static_cast<size_t>(width) - used;
  if (left)
    out.append(n, L' ');
  else
    out.insert(at, n, fill);
}

struct FormatFlags {
  bool left = false;
  bool zero = false;
  int width = 0;
  int length = 0;  // 0 int, 1 long, 2 long long, 3 size_t
};

// Reads flags, width and length modifiers; returns the conversion character.
wchar_t parse_flags(const wchar_t*& p, FormatFlags& flags, va_list& ap) {
  for (;; ++p) {
    if (*p == L'-')
      flags.left = true;
    else if (*p == L'0')
      flags.zero = true;
    else if (*p != L'+' && *p != L' ' && *p != L'#')
      break;
  }
  if (*p == L'*') {
    int width = va_arg(ap, int);
    flags.width = width > 1000 ? 1000 : width;
    ++p;
  }
  while (*p >= L'0' && *p <= L'9' && flags.width < 1000) flags.width = flags.width * 10 + (*p++ - L'0');
  if (*p == L'l') {
    flags.length = (p[1] == L'l') ? 2 : 1;
    p += flags.length;
  } else if (*p == L'z') {
    flags.length = 3;
    ++p;
  } else if (*p == L'h') {
    ++p;
  }
  return *p;
}

void put_signed(std::wstring& out, const FormatFlags& flags, va_list& ap) {
  long long v = flags.length == 1 ? va_arg(ap, long)
                : flags.length == 2 ? va_arg(ap, long long)
                : flags.length == 3 ? static_cast<long long>(va_arg(ap, size_t))
                                   : va_arg(ap, int);
  size_t at = out.size();
  out += std::to_wstring(v);
  size_t digits_at = (v < 0 && flags.zero && !flags.left) ? at + 1 : at;
  pad(out, out.size() - at, flags.width, flags.left, flags.zero ? L'0' : L' ', digits_at);
}

void put_unsigned(std::wstring& out, const FormatFlags& flags, wchar_t conv, va_list& ap) {
  unsigned long long v = flags.length == 1 ? va_arg(ap, unsigned long)
                         : flags.length == 2 ? va_arg(ap, unsigned long long)
                         : flags.length == 3 ? va_arg(ap, size_t)
                                            : va_arg(ap, unsigned int);
  const wchar_t* digits = conv == L'X' ? L"0123456789ABCDEF" : L"0123456789abcdef";
  unsigned base = (conv == L'u') ? 10 : 16;
  wchar_t buf[32];
  int n = 0;
  do {
    buf[n++] = digits[v % base];
    v /= base;
  } while (v && n < 32);
  size_t at = out.size();
  while (n > 0) out += buf[--n];
  pad(out, out.size() - at, flags.width, flags.left, flags.zero ? L'0' : L' ', at);
}

void put_text(std::wstring& out, const FormatFlags& flags, wchar_t conv, va_list& ap) {
  size_t at = out.size();
  if (conv == L'S') {
    const char* s = va_arg(ap, const char*);
    out += s ? HFileUtil::from_utf8(s).wstr() : std::wstring(L"(null)");
  } else {
    const wchar_t* s = va_arg(ap, const wchar_t*);
    out += s ? s : L"(null)";
  }
  pad(out, out.size() - at, flags.width, flags.left, L' ', at);
}

void put_pointer(std::wstring& out, va_list& ap) {
  const void* p = va_arg(ap, const void*);
  if (!p) {
    out += L"(nil)";
    return;
  }
  char buf[32];
  std::snprintf(buf, sizeof(buf), "%p", p);
  for (const char* c = buf; *c; ++c) out += static_cast<wchar_t>(*c);
}

// printf with the conventions of the agent: %s is a wide string, %S a narrow one.
void format_into(std::wstring& out, const wchar_t* format, va_list& ap) {
  for (const wchar_t* p = format; p && *p; ++p) {
    if (*p != L'%') {
      out += *p;
      continue;
    }
    const wchar_t* start = p++;
    FormatFlags flags;
    wchar_t conv = parse_flags(p, flags, ap);
    switch (conv) {
      case L'd': case L'i': put_signed(out, flags, ap); break;
      case L'u': case L'x': case L'X': put_unsigned(out, flags, conv, ap); break;
      case L's': case L'S': put_text(out, flags, conv, ap); break;
      case L'p': put_pointer(out, ap); break;
      case L'c': out += static_cast<wchar_t>(va_arg(ap, wint_t)); break;
      case L'%': out += L'%'; break;
      case 0: out.append(start, p); return;
      default: out.append(start, p + 1); break;
    }
  }
}

}  // namespace

HFileLog::HFileLog() = default;

HFileLog::~HFileLog() {
  if (i_fd >= 0) ::close(i_fd);
}

// Never destroyed: detached threads may still log while the process exits.
HFileLog& HFileLog::ins() {
  static HFileLog* log = [] {
    HFileLog* l = new HFileLog;
    l->b_home_log = true;
    return l;
  }();
  return *log;
}

HString HFileLog::get() {
  struct timespec ts;
  ::clock_gettime(CLOCK_REALTIME, &ts);
  struct tm tm_local;
  ::localtime_r(&ts.tv_sec, &tm_local);
  char buf[96];
  std::snprintf(buf, sizeof(buf), "%04d-%02d-%02d %02d:%02d:%02d.%03ld [%ld] ", tm_local.tm_year + 1900,
                tm_local.tm_mon + 1, tm_local.tm_mday, tm_local.tm_hour, tm_local.tm_min, tm_local.tm_sec,
                static_cast<long>(ts.tv_nsec / 1000000), thread_id());
  return HString(buf);
}

HString HFileLog::get(int level, const wchar_t* source, int line) {
  HString header = get();
  header << L"[" << level << L"] " << (source ? source : L"") << L"(" << line << L") ";
  return header;
}

int HFileLog::set_path(const HString& folder, const HString& name) {
  std::lock_guard<std::mutex> lock(mtx_file);
  close_locked();
  str_folder = HFileUtil::normalize(folder);
  str_name = name;
  return HFileUtil::make_dirs(HFileUtil::native_path(str_folder));
}

void HFileLog::set_max_file_len(unsigned long max_len) {
  std::lock_guard<std::mutex> lock(mtx_file);
  ul_max_file_len = max_len;
}

void HFileLog::set_max_line_len(unsigned long max_len) {
  std::lock_guard<std::mutex> lock(mtx_file);
  ul_max_line_len = max_len;
}

HString HFileLog::file_path() const {
  if (str_name.empty() && b_home_log)
    return HEnvironment::GetMyExeFullFilePath(false) + HString(L"/log/Velmora.log");
  HString path = str_folder;
  path << L"/" << str_name << L".log";
  return path;
}

int HFileLog::log(const HString& line) { return write_line(line.wstr()); }

int HFileLog::log(int level, const wchar_t* source, int line, const wchar_t* format, ...) {
  thread_local std::wstring text;
  text = get(level, source, line).wstr();
  va_list ap;
  va_start(ap, format);
  format_into(text, format, ap);
  va_end(ap);
  return write_line(text);
}

int HFileLog::write_line(const std::wstring& line) {
  std::lock_guard<std::mutex> lock(mtx_file);
  if (i_fd < 0 && open_locked() != 0) return -1;
  encode_locked(line);
  if (ul_max_file_len > 0 && ull_file_len > 0 && ull_file_len + str_line_buf.size() > ul_max_file_len) {
    roll_over_locked();
    if (i_fd < 0) return -1;
  }
  if (HFileUtil::write_all(i_fd, str_line_buf.data(), str_line_buf.size()) != 0) return -1;
  ull_file_len += str_line_buf.size();
  return 0;
}

// A line break inside a text would split one entry over several lines.
void HFileLog::encode_locked(const std::wstring& line) {
  size_t count = line.size();
  if (ul_max_line_len > 0 && count > ul_max_line_len) count = ul_max_line_len;
  str_line_buf.clear();
  for (size_t i = 0; i < count; ++i) {
    wchar_t c = line[i];
    HFileUtil::append_utf8(str_line_buf, (c == L'\n' || c == L'\r') ? L' ' : c);
  }
  str_line_buf += '\n';
}

int HFileLog::open_locked() {
  if (str_name.empty()) {
    if (!b_home_log) return -1;
    str_folder = HEnvironment::GetMyExeFullFilePath(false) + HString(L"/log");
    str_name = L"Velmora";  // from now on the home log stays where it started
  }
  std::string folder = HFileUtil::native_path(str_folder);
  if (HFileUtil::make_dirs(folder) != 0) return -1;
  std::string path = HFileUtil::native_path(file_path());
  i_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (i_fd < 0) return -1;
  struct stat st;
  ull_file_len = (::fstat(i_fd, &st) == 0) ? static_cast<uint64_t>(st.st_size) : 0;
  return 0;
}

void HFileLog::close_locked() {
  if (i_fd >= 0) ::close(i_fd);
  i_fd = -1;
  ull_file_len = 0;
}

void HFileLog::roll_over_locked() {
  close_locked();
  std::string path = HFileUtil::native_path(file_path());
  ::rename(path.c_str(), (path + ".1").c_str());
  open_locked();
}
