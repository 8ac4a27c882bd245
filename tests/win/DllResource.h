#pragma once
// The bytes of a resource of a DLL on disk, loaded as data (its code does
// not run), in one language exactly.
#include <cstdint>
#include <string>
#include <vector>

// Empty when the DLL cannot be loaded or has no such resource.
std::vector<unsigned char> dialog_resource_of(const std::wstring& dll_path, uint16_t id, uint16_t language);
// The folder of the running test program, where the build puts the DLLs.
std::wstring program_folder();
