#include "frame/AttackLog.h"

#include <string>

#include "host/HEnvironment.h"
#include "host/HFileLog.h"
#include "host/HFileUtil.h"
#include "host/HLogFormat.h"
#include "platform/WinDebug.h"

namespace {

HString attack_log_folder() { return HEnvironment::GetMyExeFullFilePath(false) + L"\\log"; }

HFileLog* make_attack_log() {
  HFileLog* p_log = new HFileLog();
  p_log->b_switch = 1;
  p_log->set_max_file_len(307200);
  p_log->set_path(attack_log_folder(), L"Attack");
  p_log->set_max_line_len(3072);
  return p_log;
}

// Made on first use, once even when the first calls race, and kept for the
// life of the process: threads that never stop write to it.
HFileLog& attack_log() {
  static HFileLog* p_log = make_attack_log();
  return *p_log;
}

}  // namespace

void attack_log_follow_home() { attack_log().set_path(attack_log_folder(), L"Attack"); }

void write_attack_log(const HString& text) {
  HString line = HFileLog::get() + text;
  attack_log().log(line);
  text.debugview();
}

namespace {

// The debugger output wants a wide text: made only when someone listens,
// on the stack for the short ASCII entries written per frame.
void debug_output(const char* text, size_t length) {
  if (!platform::debug_output_wanted()) return;
  size_t ascii = 0;
  while (ascii < length && static_cast<unsigned char>(text[ascii]) < 0x80) ++ascii;
  if (ascii < length) {
    OutputDebugStringW(HFileUtil::from_utf8(std::string(text, length)).wc_str());
    return;
  }
  wchar_t wide[128];
  if (length < sizeof(wide) / sizeof(wide[0])) {
    for (size_t i = 0; i < length; ++i) wide[i] = static_cast<wchar_t>(text[i]);
    wide[length] = L'\0';
    OutputDebugStringW(wide);
    return;
  }
  OutputDebugStringW(std::wstring(text, text + length).c_str());
}

}  // namespace

void write_attack_log(const char* text, size_t length) {
  if (!text) length = 0;
  attack_log().log_plain(text, length);
  debug_output(text, length);
}

void write_attack_log_made(HFileLog::MakeText make, const void* context) {
  attack_log().log_made(make, context);
  if (!platform::debug_output_wanted()) return;
  char text[HLogFormat::kMadeMax];
  debug_output(text, make(context, text));
}
