#include "tests/win/DllResource.h"

#include <windows.h>

std::vector<unsigned char> dialog_resource_of(const std::wstring& dll_path, uint16_t id, uint16_t language) {
  HMODULE module = ::LoadLibraryExW(dll_path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) return {};
  std::vector<unsigned char> bytes;
  HRSRC found = ::FindResourceExW(module, RT_DIALOG, MAKEINTRESOURCEW(id), language);
  HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
  const unsigned char* data = loaded ? static_cast<const unsigned char*>(::LockResource(loaded)) : nullptr;
  DWORD size = found ? ::SizeofResource(module, found) : 0;
  if (data && size > 0) bytes.assign(data, data + size);
  ::FreeLibrary(module);
  return bytes;
}

std::wstring program_folder() {
  wchar_t path[MAX_PATH];
  DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, n < MAX_PATH ? n : 0);
  size_t slash = folder.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring(L".") : folder.substr(0, slash);
}
