#pragma once
// A message box of another process, found by its caption, its process and
// a piece of its text, so a test can read it and press its button.
#include <windows.h>

#include <optional>
#include <string>

class MessageBoxWindow {
public:
  // Waits for a top-level message box with exactly this caption, of the
  // process (0: any process), whose text holds `containing`.
  static std::optional<MessageBoxWindow> waitFor(const std::wstring& caption, DWORD processId,
                                                 const std::wstring& containing,
                                                 DWORD timeoutMs);
  // Whether such a box is there now.
  static bool present(const std::wstring& caption, DWORD processId);

  HWND window() const noexcept { return m_window; }
  DWORD processId() const noexcept { return m_processId; }
  // The message, as the box shows it.
  const std::wstring& text() const noexcept { return m_text; }

  // Presses OK.
  void close() const noexcept;

private:
  static std::optional<MessageBoxWindow> find(const std::wstring& caption, DWORD processId,
                                              const std::wstring& containing);

  HWND m_window = nullptr;
  DWORD m_processId = 0;
  std::wstring m_text;
};
