#include "tests/win/WinPluginModule.h"

#include <windows.h>

#include <cstdio>

namespace {

std::string narrow(const std::wstring& text) {
  int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n) - 1);
  return out;
}

}  // namespace

int WinPluginModule::load(const std::wstring& path, std::string& error) {
  HMODULE module = ::LoadLibraryW(path.c_str());
  if (!module) {
    error = "cannot load plug-in " + narrow(path) + ": error " + std::to_string(::GetLastError());
    return -1;
  }
  struct Export {
    const char* name;
    WORD ordinal;
    void** slot;
  } exports[] = {
      {"orvoHeartbeat", 1, reinterpret_cast<void**>(&p_heartbeat)},
      {"orvoInit2", 2, reinterpret_cast<void**>(&p_init2)},
      {"orvoInit", 3, reinterpret_cast<void**>(&p_init)},
      {"?orvoSetConfig@@YAHPEBG0PEBDHH@Z", 4, reinterpret_cast<void**>(&p_set_config)},
  };
  for (const Export& e : exports) {
    FARPROC by_name = ::GetProcAddress(module, e.name);
    FARPROC by_ordinal = ::GetProcAddress(module, MAKEINTRESOURCEA(e.ordinal));
    if (!by_name) {
      error = "plug-in " + narrow(path) + " does not export " + e.name;
      return -1;
    }
    if (by_name != by_ordinal) {
      error = "plug-in " + narrow(path) + ": " + e.name + " is not ordinal " + std::to_string(e.ordinal);
      return -1;
    }
    *e.slot = reinterpret_cast<void*>(by_name);
  }
  return 0;
}

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
  return narrow(folder);
}
