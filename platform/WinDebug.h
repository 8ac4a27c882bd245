#pragma once
// The debugger output. On Linux it goes to standard error when the
// environment variable TIDEWELL_DEBUGVIEW is set, and to a sink when a test
// installs one.
#include <functional>
#include <string>

void OutputDebugStringW(const wchar_t* text);

namespace platform {
void set_debug_sink(std::function<void(const std::wstring&)> sink);
}
