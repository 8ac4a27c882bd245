// The host program's own Windows calls (kept apart from the files that
// include the platform layer's stand-ins for the Windows types).
#include <windows.h>

#include <cstdio>
#include <string>

#include "agent/win/WinProgram.h"
#include "platform/Utf8.h"

void end_process(int code) {
  std::fflush(stdout);
  std::fflush(stderr);
  ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(code));
  ::ExitProcess(static_cast<UINT>(code));
}

std::string program_folder_utf8() {
  wchar_t path[MAX_PATH];
  DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, n < MAX_PATH ? n : 0);
  size_t slash = folder.find_last_of(L"\\/");
  folder = slash == std::wstring::npos ? std::wstring(L".") : folder.substr(0, slash);
  for (wchar_t& c : folder)
    if (c == L'\\') c = L'/';
  return platform::wide_to_utf8(folder);
}
