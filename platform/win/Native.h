#pragma once
// The Windows API itself, for the Windows side of the platform layer. The
// platform headers declare the plug-in's calls under the Windows names, so a
// file that implements them cannot also see <windows.h>; it reaches the real
// calls through these functions, whose files see <windows.h> and nothing of
// the platform headers. Types are the API's own where the layouts agree
// (window handles) and fixed-width integers elsewhere.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct HWND__;
struct HICON__;
struct HINSTANCE__;

namespace platform {
namespace native {

// Time, errors and the debugger (kernel32).
uint32_t tick_count();
void sleep_ms(uint32_t milliseconds);
uint32_t last_error();
void set_last_error(uint32_t code);
int64_t time64();
void output_debug_string(const wchar_t* text);

// IP Helper, with rows of the MIB_IPNETROW layout (24 bytes).
uint32_t get_ip_net_table(void* table, uint32_t* size, int order);
uint32_t set_ip_net_entry(const void* row);

// Processes. `startup` and `information` have the layouts of STARTUPINFOW
// and PROCESS_INFORMATION.
int create_process(const wchar_t* application, wchar_t* command_line, int inherit_handles, uint32_t flags,
                   void* environment, const wchar_t* current_directory, void* startup, void* information);
int close_handle(void* handle);
uint32_t wait_for_single_object(void* handle, uint32_t milliseconds);
int terminate_process(void* process, uint32_t exit_code);
int get_exit_code_process(void* process, uint32_t* exit_code);
// A handle in place of a process that a launcher stood in for: a
// manual-reset event, signalled when the process counts as ended, so that
// waiting on it behaves as waiting on a process.
void* create_stand_in_handle(bool ended);
int set_event(void* event);

// Modules and their resources.
HINSTANCE__* module_of_address(const void* address);
// Ids of the module's dialog resources that are numbers.
std::vector<uint16_t> dialog_resource_ids(HINSTANCE__* module);
// The bytes of a dialog resource; empty when the module has none of that id.
std::vector<unsigned char> dialog_resource(HINSTANCE__* module, uint16_t id);
std::wstring module_file_name(HINSTANCE__* module);

// Windows (user32). The dialog procedure has the DLGPROC signature.
typedef intptr_t (*DialogProc)(HWND__*, unsigned int, uintptr_t, intptr_t);
intptr_t dialog_box_resource(HINSTANCE__* module, uint16_t id, HWND__* parent, DialogProc proc, intptr_t param);
// `dialog_template`: a binary DLGTEMPLATEEX, DWORD-aligned.
intptr_t dialog_box_indirect(HINSTANCE__* module, const void* dialog_template, HWND__* parent, DialogProc proc,
                             intptr_t param);
int end_dialog(HWND__* dialog, intptr_t result);
HWND__* find_window(const wchar_t* class_name, const wchar_t* window_name);
HWND__* get_dlg_item(HWND__* dialog, int id);
HWND__* parent_of(HWND__* window);
int is_window(HWND__* window);
int is_window_visible(HWND__* window);
intptr_t send_message(HWND__* window, unsigned int message, uintptr_t wparam, intptr_t lparam);
int post_message(HWND__* window, unsigned int message, uintptr_t wparam, intptr_t lparam);
int set_window_text(HWND__* window, const wchar_t* text);
int get_window_text(HWND__* window, wchar_t* buffer, int max_count);
std::wstring window_text(HWND__* window);
std::wstring class_name(HWND__* window);
std::vector<HWND__*> child_windows(HWND__* dialog);
intptr_t get_window_long_ptr(HWND__* window, int index);
intptr_t set_window_long_ptr(HWND__* window, int index, intptr_t value);
// `rect` has the RECT layout (four 32-bit values).
int get_window_rect(HWND__* window, void* rect);
int get_system_metrics(int index);
HICON__* load_icon(HINSTANCE__* instance, const wchar_t* name);
// Puts the window above all windows that are not topmost (WS_EX_TOPMOST).
int make_topmost(HWND__* window);
int set_prop(HWND__* window, const wchar_t* name, void* value);
void* get_prop(HWND__* window, const wchar_t* name);
void remove_prop(HWND__* window, const wchar_t* name);

}  // namespace native
}  // namespace platform
