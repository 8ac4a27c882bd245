#include "platform/WindowTable.h"

#include <algorithm>
#include <cstdio>

#include "platform/Utf8.h"
#include "platform/WinString.h"

namespace platform {

namespace {
HWND to_hwnd(uintptr_t handle) { return reinterpret_cast<HWND>(handle); }
uintptr_t to_handle(HWND hwnd) { return reinterpret_cast<uintptr_t>(hwnd); }

bool is_edit(const WindowRecord& record) { return _wcsicmp(record.window_class.c_str(), L"EDIT") == 0; }

std::wstring echo_line(const std::wstring& title, const std::vector<std::wstring>& texts) {
  std::wstring line = L"WINDOW [" + title + L"]";
  for (std::wstring text : texts) {
    for (size_t pos = 0; (pos = text.find(L"\r\n", pos)) != std::wstring::npos;) text.replace(pos, 2, L"\n");
    line += L" " + text;
  }
  return line;
}
}  // namespace

WindowTable& WindowTable::ins() {
  // Never destroyed: dialog threads may still run when the process ends.
  static WindowTable* p_table = new WindowTable();
  return *p_table;
}

HWND WindowTable::add(WindowRecord record) {
  std::lock_guard<std::mutex> lock(mtx_table);
  uintptr_t handle = ul_next_handle++;
  record.hwnd = to_hwnd(handle);
  if (!record.parent) vt_dialogs.push_back(handle);
  map_windows[handle] = std::move(record);
  return to_hwnd(handle);
}

WindowRecord* WindowTable::find_locked(HWND hwnd) {
  auto it = map_windows.find(to_handle(hwnd));
  return it == map_windows.end() ? nullptr : &it->second;
}

bool WindowTable::update(HWND hwnd, const std::function<void(WindowRecord&)>& change) {
  std::lock_guard<std::mutex> lock(mtx_table);
  WindowRecord* record = find_locked(hwnd);
  if (!record) return false;
  change(*record);
  return true;
}

bool WindowTable::read(HWND hwnd, WindowRecord& copy) {
  std::lock_guard<std::mutex> lock(mtx_table);
  WindowRecord* record = find_locked(hwnd);
  if (!record) return false;
  copy = *record;
  return true;
}

void WindowTable::remove_dialog(HWND dialog) {
  {
    std::lock_guard<std::mutex> lock(mtx_table);
    for (auto it = map_windows.begin(); it != map_windows.end();) {
      if (it->second.hwnd == dialog || it->second.parent == dialog) {
        it = map_windows.erase(it);
      } else {
        ++it;
      }
    }
    vt_dialogs.erase(std::remove(vt_dialogs.begin(), vt_dialogs.end(), to_handle(dialog)), vt_dialogs.end());
  }
  cv_messages.notify_all();
}

HWND WindowTable::find_dialog(LPCWSTR window_class, LPCWSTR title) {
  std::lock_guard<std::mutex> lock(mtx_table);
  for (auto it = vt_dialogs.rbegin(); it != vt_dialogs.rend(); ++it) {
    const WindowRecord& record = map_windows[*it];
    if (window_class && _wcsicmp(window_class, record.window_class.c_str()) != 0) continue;
    if (title && _wcsicmp(title, record.text.c_str()) != 0) continue;
    return record.hwnd;
  }
  return nullptr;
}

HWND WindowTable::find_control(HWND dialog, int id) {
  std::lock_guard<std::mutex> lock(mtx_table);
  for (const auto& entry : map_windows) {
    if (entry.second.parent == dialog && dialog && entry.second.id == id) return entry.second.hwnd;
  }
  return nullptr;
}

std::vector<HWND> WindowTable::controls(HWND dialog) {
  std::lock_guard<std::mutex> lock(mtx_table);
  std::vector<HWND> out;
  for (const auto& entry : map_windows) {
    if (entry.second.parent == dialog && dialog) out.push_back(entry.second.hwnd);
  }
  return out;
}

HWND WindowTable::dialog_of(HWND hwnd) {
  std::lock_guard<std::mutex> lock(mtx_table);
  WindowRecord* record = find_locked(hwnd);
  if (!record) return nullptr;
  return record->parent ? record->parent : record->hwnd;
}

bool WindowTable::post(HWND hwnd, const WindowMessage& message) {
  {
    std::lock_guard<std::mutex> lock(mtx_table);
    WindowRecord* record = find_locked(hwnd);
    if (record && record->parent) record = find_locked(record->parent);
    if (!record || !record->proc) return false;
    record->dq_messages.push_back(message);
  }
  cv_messages.notify_all();
  return true;
}

bool WindowTable::end_dialog(HWND dialog, INT_PTR result) {
  {
    std::lock_guard<std::mutex> lock(mtx_table);
    WindowRecord* record = find_locked(dialog);
    if (!record || !record->proc) return false;
    record->b_ended = true;
    record->result = result;
  }
  cv_messages.notify_all();
  return true;
}

bool WindowTable::next_message(HWND dialog, WindowMessage& message, INT_PTR& result) {
  std::unique_lock<std::mutex> lock(mtx_table);
  WindowRecord* record = nullptr;
  cv_messages.wait(lock, [&] {
    record = find_locked(dialog);
    return !record || record->b_ended || !record->dq_messages.empty();
  });
  if (!record || record->b_ended) {
    result = record ? record->result : -1;
    return false;
  }
  message = record->dq_messages.front();
  record->dq_messages.pop_front();
  return true;
}

void WindowTable::echo(HWND dialog) {
  std::wstring title;
  std::vector<std::wstring> texts;
  {
    std::lock_guard<std::mutex> lock(mtx_table);
    WindowRecord* record = find_locked(dialog);
    if (!record) return;
    title = record->text;
    for (const auto& entry : map_windows) {
      if (entry.second.parent == dialog && is_edit(entry.second)) texts.push_back(entry.second.text);
    }
  }
  std::wstring line = echo_line(title, texts);
  std::lock_guard<std::mutex> lock(mtx_echo);
  if (fn_echo) {
    fn_echo(line);
    return;
  }
  std::string out = wide_to_utf8(line) + "\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
}

void WindowTable::set_echo_sink(std::function<void(const std::wstring&)> sink) {
  std::lock_guard<std::mutex> lock(mtx_echo);
  fn_echo = std::move(sink);
}

}  // namespace platform
