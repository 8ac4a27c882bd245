#pragma once
// The debugger output. On Linux it goes to standard error when the
// environment variable TIDEWELL_DEBUGVIEW is set, and to a sink when a test
// installs one.
#include <functional>
#include <string>

void OutputDebugStringW(const wchar_t* text);

namespace platform {
void set_debug_sink(std::function<void(const std::wstring&)> sink);
// Whether OutputDebugStringW takes a text anywhere at the moment, so that a
// caller with a narrow text can skip widening it for nobody. Always true on
// Windows, where the debugger output is the system's.
#ifdef _WIN32
inline bool debug_output_wanted() { return true; }
#else
bool debug_output_wanted();
#endif
}
