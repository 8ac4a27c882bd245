#include "host/HFileLog.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "host/HEnvironment.h"
#include "host/HFileUtil.h"
#include "host/HHomeDir.h"

namespace {

// Gathered lines are written at the latest once this much has gathered.
constexpr size_t kMaxPendingBytes = 8 * 1024 * 1024;
constexpr size_t kHeaderMax = 72;

// The library is loaded with the agent, never opened later: its
// thread-local values can live in the static TLS block, which spares every
// logged line the lookups of the general dynamic model.
#if defined(__GNUC__) && defined(__ELF__)
#define HFILELOG_TLS __attribute__((tls_model("initial-exec"))) thread_local
#else
#define HFILELOG_TLS thread_local
#endif

HFILELOG_TLS int t_batch_depth = 0;

// Every log object, for flush_all(); never destroyed.
struct Registry {
  std::mutex mtx;
  HFileLog* p_first = nullptr;
};

Registry& registry() {
  static Registry* r = new Registry;
  return *r;
}

HFILELOG_TLS long t_tid = 0;

long thread_id() {
  if (t_tid == 0) t_tid = static_cast<long>(::gettid());
  return t_tid;
}

size_t put_digits(char* out, unsigned long value, int min_width) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value && n < 24);
  while (n < min_width) digits[n++] = '0';
  for (int i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
  return static_cast<size_t>(n);
}

// What snprintf wrote into a buffer of `size` bytes, without its NUL.
size_t clamp_length(int n, size_t size) { return n <= 0 ? 0 : std::min(static_cast<size_t>(n), size - 1); }

// Lines are stamped from the coarse clock: as fine as the system tick (a few
// milliseconds, as on Windows), and read without the fine clock's counter.
#ifdef CLOCK_REALTIME_COARSE
constexpr clockid_t kLineClock = CLOCK_REALTIME_COARSE;
#else
constexpr clockid_t kLineClock = CLOCK_REALTIME;
#endif

struct HeaderCache {
  time_t sec = -1;
  long ms = -1;
  char prefix[32];
  size_t prefix_len = 0;
  char tid[32];
  size_t tid_len = 0;
  char header[32 + 3 + 32];  // prefix, milliseconds, thread
  size_t header_len = 0;
  uint64_t id = 0;  // new for every header text of any thread
};

std::atomic<uint64_t> g_header_ids{0};

// This thread's header "2026-12-06 11:12:13.123 [tid] " of now. It is made
// anew only when the clock has moved on, per thread: a line per frame must
// not pay for localtime and snprintf each time.
const HeaderCache& current_header() {
  static HFILELOG_TLS HeaderCache cache;
  struct timespec ts;
  if (::clock_gettime(kLineClock, &ts) != 0) ::clock_gettime(CLOCK_REALTIME, &ts);
  long ms = ts.tv_nsec / 1000000;
  if (ts.tv_sec != cache.sec) {
    struct tm tm_local;
    ::localtime_r(&ts.tv_sec, &tm_local);
    int n = std::snprintf(cache.prefix, sizeof(cache.prefix), "%04d-%02d-%02d %02d:%02d:%02d.",
                          tm_local.tm_year + 1900, tm_local.tm_mon + 1, tm_local.tm_mday, tm_local.tm_hour,
                          tm_local.tm_min, tm_local.tm_sec);
    cache.prefix_len = clamp_length(n, sizeof(cache.prefix));
    n = std::snprintf(cache.tid, sizeof(cache.tid), " [%ld] ", thread_id());
    cache.tid_len = clamp_length(n, sizeof(cache.tid));
    cache.sec = ts.tv_sec;
    cache.ms = -1;
  }
  if (ms != cache.ms) {
    size_t len = cache.prefix_len;
    std::memcpy(cache.header, cache.prefix, len);
    len += put_digits(cache.header + len, static_cast<unsigned long>(ms), 3);
    std::memcpy(cache.header + len, cache.tid, cache.tid_len);
    cache.header_len = len + cache.tid_len;
    cache.ms = ms;
    cache.id = g_header_ids.fetch_add(1, std::memory_order_relaxed) + 1;
  }
  return cache;
}

// The header into `out` (at least kHeaderMax bytes).
size_t plain_header(char* out) {
  const HeaderCache& cache = current_header();
  std::memcpy(out, cache.header, cache.header_len);
  return cache.header_len;
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
  // 0x and lower-case hex, as glibc writes %p; the Windows runtime would
  // write zero-padded upper-case digits without the 0x.
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
      case L'c': out += static_cast<wchar_t>(va_arg(ap, unsigned int)); break;
      case L'%': out += L'%'; break;
      case 0: out.append(start, p); return;
      default: out.append(start, p + 1); break;
    }
  }
}

}  // namespace

HFileLog::HFileLog() {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mtx);
  p_next = r.p_first;
  r.p_first = this;
}

HFileLog::~HFileLog() {
  {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mtx);
    for (HFileLog** at = &r.p_first; *at; at = &(*at)->p_next) {
      if (*at == this) {
        *at = p_next;
        break;
      }
    }
  }
  std::lock_guard<std::mutex> lock(mtx_file);
  close_locked();
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
  char buf[kHeaderMax];
  size_t len = plain_header(buf);
  return HString(std::wstring(buf, buf + len));
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
  if (i_fd < 0 && open_locked(false) != 0) return -1;
  encode_locked(line);
  return emit_locked();
}

int HFileLog::log_plain(const char* text, size_t length) {
  std::lock_guard<std::mutex> lock(mtx_file);
  if (i_fd < 0 && open_locked(false) != 0) return -1;
  return log_plain_locked(text, length);
}

// A gathered line goes straight to the end of the gathered text.
int HFileLog::log_plain_locked(const char* text, size_t length) {
  if (gathering_locked()) {
    uint64_t file_length = current_length_locked();
    size_t at = st_pending.str_text.size();
    encode_plain_locked(text, length, st_pending.str_text);
    return gathered_locked(file_length, st_pending.str_text.size() - at);
  }
  str_line_buf.clear();
  encode_plain_locked(text, length, str_line_buf);
  return emit_locked();
}

int HFileLog::log_plain_deferred(size_t text_length, RenderFn render, const DeferredArgs& args) {
  if (!render) return -1;
  std::lock_guard<std::mutex> lock(mtx_file);
  if (i_fd < 0 && open_locked(false) != 0) return -1;
  if (t_batch_depth == 0 || text_length > UINT16_MAX) return log_rendered_locked(text_length, render, args);
  return defer_locked(text_length, render, args);
}

int HFileLog::log_rendered_locked(size_t text_length, RenderFn render, const DeferredArgs& args) {
  str_render.resize(text_length);
  if (text_length > 0) render(args.bytes, &str_render[0]);
  return log_plain_locked(str_render.data(), text_length);
}

// The line keeps the header of now: rendered later, it reads as if written
// at once.
int HFileLog::defer_locked(size_t text_length, RenderFn render, const DeferredArgs& args) {
  const HeaderCache& header = current_header();
  const size_t line_length = header.header_len + text_length + 1;
  if (!fits_line_locked(line_length - 1)) return log_rendered_locked(text_length, render, args);
  uint64_t file_length = current_length_locked();
  // Filled in place: a record made on the stack and copied in costs a stall
  // per line.
  DeferredLine& line = st_pending.vt_deferred.emplace_back();
  line.render = render;
  line.text_at = st_pending.str_text.size();
  line.header_at = header_at_locked(header.id, header.header, header.header_len);
  line.length = static_cast<uint32_t>(line_length);
  line.header_len = static_cast<uint8_t>(header.header_len);
  line.args = args;
  st_pending.ul_deferred_len += line_length;
  return gathered_locked(file_length, line_length);
}

// Lines of one thread in one millisecond share their header.
inline uint32_t HFileLog::header_at_locked(uint64_t header_id, const char* header, size_t header_len) {
  if (header_id != ull_header_id) {
    ul_header_at = static_cast<uint32_t>(str_headers.size());
    str_headers.append(header, header_len);
    ull_header_id = header_id;
  }
  return ul_header_at;
}

// Whether a line of header and text, without its newline, is written uncut.
inline bool HFileLog::fits_line_locked(size_t line_length) const {
  return ul_max_line_len == 0 || line_length <= ul_max_line_len;
}

// The length of the file that the next line goes to, gathered lines counted
// as if they were written: a batch rolls over at the same lines as single
// writes would.
inline uint64_t HFileLog::current_length_locked() const {
  if (i_pending_rolls == 0) return ull_file_len + st_pending.length();
  return st_pending.length();
}

inline bool HFileLog::gathering_locked() const { return t_batch_depth > 0 || !st_pending.empty() || i_pending_rolls > 0; }

// Whether a line of `line_length` bytes starts a new file behind a file of
// `file_length` bytes.
inline bool HFileLog::rolls_over(uint64_t file_length, size_t line_length) const {
  return ul_max_file_len > 0 && file_length > 0 && file_length + line_length > ul_max_file_len;
}

int HFileLog::emit_locked() {
  uint64_t file_length = current_length_locked();
  if (gathering_locked()) {
    st_pending.str_text += str_line_buf;
    return gathered_locked(file_length, str_line_buf.size());
  }
  if (rolls_over(file_length, str_line_buf.size())) {
    roll_over_locked();
    if (i_fd < 0) return -1;
  }
  return write_part_locked(str_line_buf.data(), str_line_buf.size());
}

// The line of `line_length` bytes that came last in st_pending has just been
// gathered behind a file of `file_length` bytes.
inline int HFileLog::gathered_locked(uint64_t file_length, size_t line_length) {
  if (rolls_over(file_length, line_length)) start_pending_file_locked(line_length);
  if (t_batch_depth > 0 && pending_memory_locked() < kMaxPendingBytes) return 0;
  return write_pending_locked();
}

inline size_t HFileLog::pending_memory_locked() const {
  return st_pending.memory() + st_pending_before.memory() + str_headers.size();
}

// A roll-over among gathered lines: the lines before the last one are kept
// as the file before, the last line starts the next one. Of the files that
// gathered lines fill, only the last two can outlive the write (see
// write_pending_locked), so the file before the file before is let go here:
// a flood's lines stay within two files' length, with no copying but the
// line's.
void HFileLog::start_pending_file_locked(size_t line_length) {
  std::swap(st_pending_before, st_pending);
  st_pending.clear();
  PendingFile& before = st_pending_before;
  if (before.last_is_deferred()) {
    st_pending.vt_deferred.push_back(before.vt_deferred.back());
    st_pending.vt_deferred.back().text_at = 0;
    st_pending.ul_deferred_len = line_length;
    before.vt_deferred.pop_back();
    before.ul_deferred_len -= line_length;
  } else {
    size_t at = before.str_text.size() - line_length;
    st_pending.str_text.assign(before.str_text, at, std::string::npos);
    before.str_text.resize(at);
  }
  if (i_pending_rolls < 2) ++i_pending_rolls;
}

// Lines are written whole or not at all: a full disk must not leave half a
// line for the next one to be glued to. The log cannot log its own failure:
// it is counted for the summary.
int HFileLog::write_part_locked(const char* data, size_t length) {
  if (length == 0) return 0;
  if (i_fd < 0) return -1;
  if (HHomeDir::append_whole(i_fd, data, length) != 0) {
    HHomeDir::note_failure(str_path, errno);
    return -1;
  }
  HHomeDir::note_success(str_path);
  ull_file_len += length;
  return 0;
}

// The gathered lines with the roll-overs among them. Of the files that
// they fill, only the last two can outlive the write (the file and its
// ".1"): after one roll-over the lines before it go to the current file;
// after more, the current file would be deleted by a later roll-over anyway,
// so it is made anew with the lines of the file before the last. The files
// end up byte for byte as after single writes.
int HFileLog::write_pending_locked() {
  if (st_pending.empty() && i_pending_rolls == 0) return 0;
  int rc = 0;
  if (i_pending_rolls > 0) {
    if (i_pending_rolls > 1) {
      close_fd_locked();
      open_locked(true);
    }
    rc |= write_pending_file_locked(st_pending_before);
    close_fd_locked();
    rename_to_previous_locked();
    open_locked(false);
  }
  rc |= write_pending_file_locked(st_pending);
  st_pending.clear();
  st_pending_before.clear();
  str_headers.clear();
  ull_header_id = 0;
  i_pending_rolls = 0;
  return rc == 0 ? 0 : -1;
}

// One write per file, the deferred lines rendered in place.
int HFileLog::write_pending_file_locked(const PendingFile& file) {
  if (file.vt_deferred.empty()) return write_part_locked(file.str_text.data(), file.str_text.size());
  std::string out;
  render_locked(file, out);
  return write_part_locked(out.data(), out.size());
}

void HFileLog::render_locked(const PendingFile& file, std::string& out) const {
  out.resize(file.length());
  char* p = &out[0];
  size_t text_from = 0;
  for (const DeferredLine& line : file.vt_deferred) {
    std::memcpy(p, file.str_text.data() + text_from, line.text_at - text_from);
    p += line.text_at - text_from;
    text_from = line.text_at;
    std::memcpy(p, str_headers.data() + line.header_at, line.header_len);
    p += line.header_len;
    const size_t text_length = line.length - line.header_len - 1;
    if (text_length > 0) line.render(line.args.bytes, p);
    p += text_length;
    *p++ = '\n';
  }
  std::memcpy(p, file.str_text.data() + text_from, file.str_text.size() - text_from);
}

void HFileLog::flush_pending() {
  std::lock_guard<std::mutex> lock(mtx_file);
  write_pending_locked();
}

void HFileLog::flush_all() {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mtx);
  for (HFileLog* log = r.p_first; log; log = log->p_next) log->flush_pending();
}

void HFileLog::reopen_all() {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mtx);
  for (HFileLog* log = r.p_first; log; log = log->p_next) {
    std::lock_guard<std::mutex> file_lock(log->mtx_file);
    log->close_locked();
  }
}

HFileLog::Batch::Batch() { ++t_batch_depth; }

HFileLog::Batch::~Batch() {
  if (--t_batch_depth == 0) flush_all();
}

void HFileLog::Batch::flush() { flush_all(); }

// A line break inside a text would split one entry over several lines.
void HFileLog::encode_locked(const std::wstring& line) {
  size_t count = line.size();
  if (ul_max_line_len > 0 && count > ul_max_line_len) count = ul_max_line_len;
  str_line_buf.clear();
  for (size_t i = 0; i < count;) {
    wchar_t c = line[i];
    if (c == L'\n' || c == L'\r') {
      str_line_buf += ' ';
      ++i;
    } else {
      i += HFileUtil::append_utf8(str_line_buf, &line[i], count - i);
    }
  }
  str_line_buf += '\n';
}

// As encode_locked, for the plain header and a UTF-8 text, appended to
// `out`: the cut counts characters, not bytes.
void HFileLog::encode_plain_locked(const char* text, size_t length, std::string& out) const {
  const size_t start = out.size();
  char header[kHeaderMax];
  size_t header_len = plain_header(header);
  out.append(header, header_len);
  if (!text) length = 0;
  // How many bytes of the text fit: as many characters as the line has
  // room for behind the header.
  size_t room = ul_max_line_len == 0 ? length : ul_max_line_len > header_len ? ul_max_line_len - header_len : 0;
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
  // One pass without branches: the compiler turns it into vector code.
  char* p = &out[at];
  for (size_t i = 0; i < take; ++i) p[i] = (p[i] == '\n' || p[i] == '\r') ? ' ' : p[i];
  if (ul_max_line_len > 0 && header_len > ul_max_line_len) out.resize(start + ul_max_line_len);
  out += '\n';
}

int HFileLog::open_locked(bool truncate) {
  if (str_name.empty()) {
    if (!b_home_log) return -1;
    str_folder = HEnvironment::GetMyExeFullFilePath(false) + HString(L"/log");
    str_name = L"Velmora";  // from now on the home log stays where it started
  }
  str_path = HFileUtil::native_path(file_path());
  i_fd = HHomeDir::open_file(str_path, O_WRONLY | O_CREAT | O_APPEND | (truncate ? O_TRUNC : 0));
  if (i_fd < 0) return -1;
  struct stat st;
  ull_file_len = (::fstat(i_fd, &st) == 0) ? static_cast<uint64_t>(st.st_size) : 0;
  return 0;
}

void HFileLog::close_fd_locked() {
  if (i_fd >= 0) ::close(i_fd);
  i_fd = -1;
  ull_file_len = 0;
}

// What has gathered belongs to the file that is being closed.
void HFileLog::close_locked() {
  write_pending_locked();
  close_fd_locked();
}

void HFileLog::rename_to_previous_locked() {
  std::string path = HFileUtil::native_path(file_path());
  ::rename(path.c_str(), (path + ".1").c_str());
}

void HFileLog::roll_over_locked() {
  close_locked();
  rename_to_previous_locked();
  open_locked(false);
}
