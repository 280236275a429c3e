#include "MessageBoxWindow.h"

#include <vector>

namespace {

constexpr const wchar_t* kDialogClass = L"#32770";

std::wstring windowText(HWND window) {
  const int length = ::GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), length + 1)));
  return text;
}

std::wstring className(HWND window) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  return name;
}

BOOL CALLBACK collectWindow(HWND window, LPARAM context) {
  reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
  return TRUE;
}

// The box's message is its one static control with text (the icon's
// static has none).
std::wstring messageText(HWND box) {
  std::vector<HWND> children;
  ::EnumChildWindows(box, &collectWindow, reinterpret_cast<LPARAM>(&children));
  for (HWND child : children) {
    if (::CompareStringOrdinal(className(child).c_str(), -1, L"Static", -1, TRUE) != CSTR_EQUAL) {
      continue;
    }
    std::wstring text = windowText(child);
    if (!text.empty()) return text;
  }
  return {};
}

}  // namespace

std::optional<MessageBoxWindow> MessageBoxWindow::find(const std::wstring& caption,
                                                       DWORD processId,
                                                       const std::wstring& containing) {
  std::vector<HWND> windows;
  ::EnumWindows(&collectWindow, reinterpret_cast<LPARAM>(&windows));
  for (HWND window : windows) {
    if (className(window) != kDialogClass || windowText(window) != caption) continue;
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (processId != 0 && owner != processId) continue;
    MessageBoxWindow box;
    box.m_window = window;
    box.m_processId = owner;
    box.m_text = messageText(window);
    if (box.m_text.find(containing) == std::wstring::npos) continue;
    return box;
  }
  return std::nullopt;
}

std::optional<MessageBoxWindow> MessageBoxWindow::waitFor(const std::wstring& caption,
                                                          DWORD processId,
                                                          const std::wstring& containing,
                                                          DWORD timeoutMs) {
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  for (;;) {
    // A box exists before its message is filled in: wait for the message.
    auto box = find(caption, processId, containing);
    if (box && !box->m_text.empty()) return box;
    if (::GetTickCount64() > end) return std::nullopt;
    ::Sleep(100);
  }
}

bool MessageBoxWindow::present(const std::wstring& caption, DWORD processId) {
  return find(caption, processId, L"").has_value();
}

void MessageBoxWindow::close() const noexcept {
  // A click posted while the box is still settling can be lost under Wine,
  // and a reporter whose box stays open keeps running, holding the test
  // runner's output pipe it inherited: click until the box is gone.
  const ULONGLONG end = ::GetTickCount64() + 10000;
  while (::IsWindow(m_window) && ::GetTickCount64() < end) {
    ::PostMessageW(m_window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ::Sleep(100);
  }
}
