#include "CSystemHelper.h"

#include "UniqueHandle.h"

#include <psapi.h>

#include <cwchar>

namespace {

struct WindowSearch {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK matchProcessWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  if (!::IsWindowVisible(window)) return TRUE;
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != search->processId) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

HWND CSystemHelper::FindProcessWindow(DWORD processId) const noexcept {
  WindowSearch search{processId, nullptr};
  ::EnumDesktopWindows(nullptr, matchProcessWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND CSystemHelper::FindProcessWindowByName(const wchar_t* name,
                                            DWORD skipProcessId) const noexcept {
  if (!name) return nullptr;
  DWORD ids[kMaxProcesses];
  wchar_t baseName[kMaxNameLength + 1];
  DWORD bytes = 0;
  if (!::EnumProcesses(ids, sizeof(ids), &bytes)) return nullptr;
  const DWORD count = bytes / sizeof(DWORD);
  for (DWORD i = 0; i < count; ++i) {
    const DWORD id = ids[i];
    if (id == skipProcessId) continue;
    KernelHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id));
    if (!process) continue;
    HMODULE first = nullptr;
    DWORD needed = 0;
    if (!::EnumProcessModules(process.get(), &first, sizeof(first), &needed) || !first) continue;
    DWORD length = ::GetModuleBaseNameW(process.get(), first, baseName, kMaxNameLength + 1);
    if (length == 0) continue;
    // A truncated name may come back unterminated.
    if (length > kMaxNameLength) length = kMaxNameLength;
    baseName[length] = L'\0';
    if (std::wcscmp(baseName, name) == 0) return FindProcessWindow(id);
  }
  return nullptr;
}
