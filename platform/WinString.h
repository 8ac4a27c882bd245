#pragma once
// The runtime library's wide string calls that the plug-in uses.
#include <cwchar>

using std::wcscpy;
#ifndef _WIN32  // the Windows runtime has its own
int _wcsicmp(const wchar_t* a, const wchar_t* b);
#endif
