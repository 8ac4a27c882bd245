#pragma once
// The "Attack" log: attack evidence, also sent to the debugger output.
#include "host/HString.h"

void write_attack_log(const HString& text);
