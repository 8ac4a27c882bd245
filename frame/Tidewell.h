#pragma once
// The plug-in's exports. The first three have C linkage (looked up by plain
// name); orvoSetConfig keeps C++ linkage and is looked up by its mangled name.
#include <cstdint>

extern "C" {
int orvoHeartbeat();
int orvoInit2();
int orvoInit(wchar_t* name_out, wchar_t* name_out2, int64_t reserved);
}
int orvoSetConfig(const unsigned short* a, const unsigned short* catalogue, const char* data, int x, int y);
