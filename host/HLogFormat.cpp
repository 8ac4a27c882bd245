#include "host/HLogFormat.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "host/HFileUtil.h"
#include "host/HStaticTls.h"

namespace {

// Lines are stamped from the coarse clock: as fine as the system tick (a few
// milliseconds, as on Windows).
#ifdef CLOCK_REALTIME_COARSE
constexpr clockid_t kLineClock = CLOCK_REALTIME_COARSE;
#else
constexpr clockid_t kLineClock = CLOCK_REALTIME;
#endif

// What snprintf wrote into a buffer of `size` bytes, without its NUL.
size_t clamp_length(int n, size_t size) { return n <= 0 ? 0 : std::min(static_cast<size_t>(n), size - 1); }

// This thread's header, made anew only when the clock has moved on: a line
// per frame must not pay for localtime and snprintf each time.
struct HeaderCache {
  time_t sec = -1;
  long ms = -1;
  // Every member initialised: the cache is then set up without a TLS guard.
  char prefix[32] = {};  // date and time up to the seconds' dot
  size_t prefix_len = 0;
  char tid[29] = {};  // " [%ld] " of a thread id, at most 7 digits on Linux
  size_t tid_len = 0;
  char header[32 + 3 + 29] = {};  // 64 bytes: copied whole without a call
  size_t header_len = 0;

  void update() {
    struct timespec ts;
    if (::clock_gettime(kLineClock, &ts) != 0) ::clock_gettime(CLOCK_REALTIME, &ts);
    long now_ms = ts.tv_nsec / 1000000;
    if (ts.tv_sec != sec) {
      struct tm tm_local;
      ::localtime_r(&ts.tv_sec, &tm_local);
      int n = std::snprintf(prefix, sizeof(prefix), "%04d-%02d-%02d %02d:%02d:%02d.", tm_local.tm_year + 1900,
                            tm_local.tm_mon + 1, tm_local.tm_mday, tm_local.tm_hour, tm_local.tm_min, tm_local.tm_sec);
      prefix_len = clamp_length(n, sizeof(prefix));
      n = std::snprintf(tid, sizeof(tid), " [%ld] ", static_cast<long>(::gettid()));
      tid_len = clamp_length(n, sizeof(tid));
      sec = ts.tv_sec;
      ms = -1;
    }
    if (now_ms == ms) return;
    std::memcpy(header, prefix, prefix_len);
    char* p = header + prefix_len;
    p[0] = static_cast<char>('0' + now_ms / 100);
    p[1] = static_cast<char>('0' + now_ms / 10 % 10);
    p[2] = static_cast<char>('0' + now_ms % 10);
    std::memcpy(p + 3, tid, tid_len);
    header_len = prefix_len + 3 + tid_len;
    ms = now_ms;
  }
};

void put_pointer(std::wstring& out, const void* p) {
  if (!p) {
    out += L"(nil)";
    return;
  }
  // 0x and lower-case hex, as glibc writes %p, on every system.
  static const wchar_t kHex[] = L"0123456789abcdef";
  uintptr_t value = reinterpret_cast<uintptr_t>(p);
  wchar_t digits[2 * sizeof(uintptr_t)];
  int n = 0;
  do {
    digits[n++] = kHex[value & 0xF];
    value >>= 4;
  } while (value);
  out += L"0x";
  while (n > 0) out += digits[--n];
}

}  // namespace

size_t HLogFormat::header(char* out) {
  static HSTATIC_TLS HeaderCache cache;
  cache.update();
  static_assert(sizeof(cache.header) <= kHeaderMax, "the header fits the caller's buffer");
  std::memcpy(out, cache.header, sizeof(cache.header));
  return cache.header_len;
}

void HLogFormat::format(std::wstring& out, const wchar_t* format, va_list& ap) {
  for (const wchar_t* p = format; p && *p; ++p) {
    if (*p != L'%') {
      out += *p;
      continue;
    }
    const wchar_t* start = p++;
    int longs = 0;
    while (*p == L'l' && longs < 2) {
      ++longs;
      ++p;
    }
    switch (*p) {
      case L'd':
        out += longs == 0 ? std::to_wstring(va_arg(ap, int))
               : longs == 1 ? std::to_wstring(va_arg(ap, long))
                            : std::to_wstring(va_arg(ap, long long));
        break;
      case L'u':
        out += longs == 0 ? std::to_wstring(va_arg(ap, unsigned int))
               : longs == 1 ? std::to_wstring(va_arg(ap, unsigned long))
                            : std::to_wstring(va_arg(ap, unsigned long long));
        break;
      case L's': {
        const wchar_t* s = va_arg(ap, const wchar_t*);
        out += s ? s : L"(null)";
        break;
      }
      case L'S': {
        const char* s = va_arg(ap, const char*);
        out += s ? HFileUtil::from_utf8(s).wstr() : std::wstring(L"(null)");
        break;
      }
      case L'p': put_pointer(out, va_arg(ap, const void*)); break;
      case L'%': out += L'%'; break;
      case 0: out.append(start, p); return;
      default: out.append(start, p + 1); break;
    }
  }
}

// A line break inside a text would split one entry over several lines.
void HLogFormat::encode(const std::wstring& text, unsigned long max_line_len, std::string& out) {
  size_t count = text.size();
  if (max_line_len > 0 && count > max_line_len) count = max_line_len;
  for (size_t i = 0; i < count;) {
    wchar_t c = text[i];
    if (c == L'\n' || c == L'\r') {
      out += ' ';
      ++i;
    } else {
      i += HFileUtil::append_utf8(out, &text[i], count - i);
    }
  }
  out += '\n';
}

// The cut counts characters, not bytes, as encode's does.
void HLogFormat::encode_plain(const char* text, size_t length, unsigned long max_line_len, std::string& out) {
  const size_t start = out.size();
  char head[kHeaderMax];
  size_t header_len = header(head);
  out.append(head, header_len);
  if (!text) length = 0;
  size_t room = max_line_len == 0 ? length : max_line_len > header_len ? max_line_len - header_len : 0;
  size_t take = length;
  if (length > room) {  // a character takes at least one byte
    take = 0;
    for (size_t chars = 0; take < length; ++take) {
      bool starts_char = (static_cast<unsigned char>(text[take]) & 0xC0) != 0x80;
      if (starts_char && chars++ == room) break;
    }
  }
  size_t at = out.size();
  out.append(text, take);
  char* p = &out[at];
  // memchr first: the lines written per frame have no breaks, and a loop per
  // byte costs them more than the rest of the line.
  if (std::memchr(p, '\n', take) || std::memchr(p, '\r', take)) {
    for (size_t i = 0; i < take; ++i) p[i] = (p[i] == '\n' || p[i] == '\r') ? ' ' : p[i];
  }
  if (max_line_len > 0 && header_len > max_line_len) out.resize(start + max_line_len);
  out += '\n';
}

// Made on the stack behind the header and appended at once: ASCII, so the
// cut counts bytes.
void HLogFormat::encode_made(size_t (*make)(const void*, char*), const void* context, unsigned long max_line_len,
                             std::string& out) {
  char line[kHeaderMax + kMadeMax];
  size_t header_len = header(line);
  size_t length = header_len + make(context, line + header_len);
  if (max_line_len > 0 && length > max_line_len) length = max_line_len;
  line[length++] = '\n';
  out.append(line, length);
}
