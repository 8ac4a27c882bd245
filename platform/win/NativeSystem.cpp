// kernel32, the runtime, IP Helper and module resources, as Native.h offers
// them. This file sees <windows.h> and none of the platform headers.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <cstddef>
#include <cstring>
#include <ctime>

#include "platform/win/Native.h"

static_assert(sizeof(MIB_IPNETROW) == 24, "rows cross the layer as bytes");
static_assert(offsetof(MIB_IPNETROW, dwAddr) == 16, "address after the eight MAC bytes");
static_assert(offsetof(MIB_IPNETTABLE, table) == 4, "rows follow the count");
static_assert(sizeof(STARTUPINFOW) == 104, "STARTUPINFOW of 64-bit Windows");
static_assert(sizeof(PROCESS_INFORMATION) == 24, "PROCESS_INFORMATION of 64-bit Windows");

namespace platform {
namespace native {

uint32_t tick_count() { return ::GetTickCount(); }

void sleep_ms(uint32_t milliseconds) { ::Sleep(milliseconds); }

uint32_t last_error() { return ::GetLastError(); }

void set_last_error(uint32_t code) { ::SetLastError(code); }

int64_t time64() { return ::_time64(nullptr); }

void output_debug_string(const wchar_t* text) { ::OutputDebugStringW(text); }

uint32_t get_ip_net_table(void* table, uint32_t* size, int order) {
  ULONG bytes = size ? *size : 0;
  DWORD ret = ::GetIpNetTable(static_cast<PMIB_IPNETTABLE>(table), size ? &bytes : nullptr, order ? TRUE : FALSE);
  if (size) *size = bytes;
  return ret;
}

uint32_t set_ip_net_entry(const void* row) {
  MIB_IPNETROW copy;
  std::memcpy(&copy, row, sizeof(copy));
  return ::SetIpNetEntry(&copy);
}

int create_process(const wchar_t* application, wchar_t* command_line, int inherit_handles, uint32_t flags,
                   void* environment, const wchar_t* current_directory, void* startup, void* information) {
  STARTUPINFOW si;
  std::memcpy(&si, startup, sizeof(si));
  PROCESS_INFORMATION pi;
  std::memset(&pi, 0, sizeof(pi));
  BOOL ok = ::CreateProcessW(application, command_line, nullptr, nullptr, inherit_handles, flags, environment,
                             current_directory, &si, &pi);
  if (ok) std::memcpy(information, &pi, sizeof(pi));
  return ok;
}

int close_handle(void* handle) { return ::CloseHandle(handle); }

uint32_t wait_for_single_object(void* handle, uint32_t milliseconds) {
  return ::WaitForSingleObject(handle, milliseconds);
}

int terminate_process(void* process, uint32_t exit_code) { return ::TerminateProcess(process, exit_code); }

int get_exit_code_process(void* process, uint32_t* exit_code) {
  DWORD code = 0;
  BOOL ok = ::GetExitCodeProcess(process, &code);
  if (ok) *exit_code = code;
  return ok;
}

void* create_stand_in_handle(bool ended) { return ::CreateEventW(nullptr, TRUE, ended ? TRUE : FALSE, nullptr); }

int set_event(void* event) { return ::SetEvent(event); }

HINSTANCE__* module_of_address(const void* address) {
  HMODULE module = nullptr;
  DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
  if (!::GetModuleHandleExW(flags, static_cast<LPCWSTR>(address), &module)) return nullptr;
  return module;
}

namespace {
BOOL CALLBACK collect_dialog_id(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
  if (IS_INTRESOURCE(name)) {
    reinterpret_cast<std::vector<uint16_t>*>(param)->push_back(static_cast<uint16_t>(reinterpret_cast<uintptr_t>(name)));
  }
  return TRUE;
}
}  // namespace

std::vector<uint16_t> dialog_resource_ids(HINSTANCE__* module) {
  std::vector<uint16_t> ids;
  if (module) ::EnumResourceNamesW(module, RT_DIALOG, collect_dialog_id, reinterpret_cast<LONG_PTR>(&ids));
  return ids;
}

std::vector<unsigned char> dialog_resource(HINSTANCE__* module, uint16_t id) {
  HRSRC found = module ? ::FindResourceW(module, MAKEINTRESOURCEW(id), RT_DIALOG) : nullptr;
  if (!found) return {};
  HGLOBAL loaded = ::LoadResource(module, found);
  const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
  DWORD size = ::SizeofResource(module, found);
  if (!bytes || size == 0) return {};
  const unsigned char* begin = static_cast<const unsigned char*>(bytes);
  return std::vector<unsigned char>(begin, begin + size);
}

std::wstring module_file_name(HINSTANCE__* module) {
  std::wstring name(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    DWORD n = ::GetModuleFileNameW(module, &name[0], static_cast<DWORD>(name.size()));
    if (n == 0) return std::wstring();
    if (n < name.size()) {
      name.resize(n);
      return name;
    }
    name.resize(name.size() * 2);
  }
  return std::wstring();
}

}  // namespace native
}  // namespace platform
