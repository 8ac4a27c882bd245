#pragma once
// The runtime library's wide string calls that the plug-in uses.
#include <cwchar>

using std::wcscpy;
int _wcsicmp(const wchar_t* a, const wchar_t* b);
