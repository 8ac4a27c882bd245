#include "host/HFileLog.h"

#include <cstdarg>

#include "host/HEnvironment.h"
#include "host/HFileUtil.h"
#include "host/HLogFormat.h"
#include "host/HStaticTls.h"

namespace {

// Gathered lines are written at the latest once this much has gathered.
constexpr size_t kMaxGatheredBytes = 8 * 1024 * 1024;

HSTATIC_TLS int t_batch_depth = 0;

// Every log object, for flush_all(); never destroyed.
struct Registry {
  std::mutex mtx;
  HFileLog* p_first = nullptr;
};

Registry& registry() {
  static Registry* r = new Registry;
  return *r;
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
  char buf[HLogFormat::kHeaderMax];
  size_t len = HLogFormat::header(buf);
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
  file.set_max_length(max_len);
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

int HFileLog::log(const HString& line) {
  std::lock_guard<std::mutex> lock(mtx_file);
  if (!file.is_open() && open_locked() != 0) return -1;
  str_line_buf.clear();
  HLogFormat::encode(line.wstr(), ul_max_line_len, str_line_buf);
  return emit_locked();
}

int HFileLog::log(int level, const wchar_t* source, int line, const wchar_t* format, ...) {
  thread_local std::wstring text;
  text = get(level, source, line).wstr();
  va_list ap;
  va_start(ap, format);
  HLogFormat::format(text, format, ap);
  va_end(ap);
  return log(HString(text));
}

// Inline: a shared library does not inline its exported functions by itself,
// and these run for every line.
inline bool HFileLog::gathering_locked() const { return t_batch_depth > 0 || !gathered.empty(); }

inline int HFileLog::after_gathering_locked() {
  if (t_batch_depth > 0 && gathered.memory() < kMaxGatheredBytes) return 0;
  return gathered.write_to(file);
}

int HFileLog::log_plain(const char* text, size_t length) {
  std::lock_guard<std::mutex> lock(mtx_file);
  if (!file.is_open() && open_locked() != 0) return -1;
  return log_encoded_locked(
      [&](std::string& out) { HLogFormat::encode_plain(text, length, ul_max_line_len, out); });
}

int HFileLog::log_made(MakeText make, const void* context) {
  std::lock_guard<std::mutex> lock(mtx_file);
  if (!file.is_open() && open_locked() != 0) return -1;
  return log_encoded_locked(
      [&](std::string& out) { HLogFormat::encode_made(make, context, ul_max_line_len, out); });
}

// A line per frame goes into the gathered text as it is made.
template <typename Encode>
int HFileLog::log_encoded_locked(Encode encode) {
  if (!gathering_locked()) {
    str_line_buf.clear();
    encode(str_line_buf);
    return emit_locked();
  }
  uint64_t file_length = gathered.file_length(file);
  std::string& gathered_text = gathered.text();
  size_t at = gathered_text.size();
  encode(gathered_text);
  size_t line_length = gathered_text.size() - at;
  gathered.line_added(line_length, file.starts_new_file(file_length, line_length));
  return after_gathering_locked();
}

int HFileLog::emit_locked() {
  bool starts_file = file.starts_new_file(gathered.file_length(file), str_line_buf.size());
  if (gathering_locked()) {
    gathered.add(str_line_buf, starts_file);
    return after_gathering_locked();
  }
  if (starts_file) {
    file.roll_over();
    if (!file.is_open()) return -1;
  }
  return file.append(str_line_buf.data(), str_line_buf.size());
}

int HFileLog::open_locked() {
  if (str_name.empty()) {
    if (!b_home_log) return -1;
    str_folder = HEnvironment::GetMyExeFullFilePath(false) + HString(L"/log");
    str_name = L"Velmora";  // from now on the home log stays where it started
  }
  return file.open_path(HFileUtil::native_path(file_path()), false);
}

// What has gathered belongs to the file that is being closed.
void HFileLog::close_locked() {
  gathered.write_to(file);
  file.close();
}

void HFileLog::flush_gathered() {
  std::lock_guard<std::mutex> lock(mtx_file);
  gathered.write_to(file);
}

void HFileLog::flush_all() {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mtx);
  for (HFileLog* log = r.p_first; log; log = log->p_next) log->flush_gathered();
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
