#pragma once
// What the host program asks of Windows itself.
#include <string>

// Ends the process at once with `code`: the plug-in's threads never stop, so
// nothing may be torn down under them.
[[noreturn]] void end_process(int code);
// The folder of the running program, with "/" separators.
std::string program_folder_utf8();
