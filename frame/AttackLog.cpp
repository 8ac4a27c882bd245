#include "frame/AttackLog.h"

#include "host/HEnvironment.h"
#include "host/HFileLog.h"

namespace {

HFileLog* make_attack_log() {
  HFileLog* p_log = new HFileLog();
  p_log->b_switch = 1;
  p_log->set_max_file_len(307200);
  p_log->set_path(HEnvironment::GetMyExeFullFilePath(false) + L"\\log", L"Attack");
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

void write_attack_log(const HString& text) {
  HString line = HFileLog::get() + text;
  attack_log().log(line);
  text.debugview();
}
