#pragma once
// The "Attack" log: attack evidence, also sent to the debugger output.
#include <cstddef>

#include "host/HFileLog.h"
#include "host/HString.h"

void write_attack_log(const HString& text);
// Points the attack log at the log folder of the home set now: the folder
// is otherwise the one of the first line, for the life of the process (a
// test seam: each test of a program has a home of its own).
void attack_log_follow_home();
// The same for a text given as UTF-8 bytes (the entries written per frame):
// the line reaches the file without a wide copy of the text.
void write_attack_log(const char* text, size_t length);
// A text made by `make` (HFileLog::log_made): the entry written for every
// ARP frame reaches the file log without a copy of its own.
void write_attack_log_made(HFileLog::MakeText make, const void* context);
