#pragma once
// What the window tests share: a single-threaded apartment per test, the
// windows a test made (deleted at its end, whatever the test left), a
// message pump and a creation blocker.
#include "CFrameworkWindow.h"
#include "ComApartment.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

class WindowTest : public ::testing::Test {
public:
  // Handles the thread's pending messages; true when WM_QUIT was among
  // them, with its exit code.
  static bool pumpMessages(WPARAM* quitCode = nullptr);

  // The "hMainWin" value under HKCU\Software\Mirdex, if there is one.
  static bool readMainWindowValue(DWORD& value);

  static RECT windowRect(HWND window);
  static std::wstring windowText(HWND window);

protected:
  void SetUp() override;
  void TearDown() override;

  // A window over rc (created, not shown); null and a test failure when it
  // cannot be made. The fixture deletes it at the end if it still exists.
  CFrameworkWindow* create(CFrameworkWindow* opener, RECT rc = {200, 100, 500, 612});

private:
  ComApartment m_apartment;
  std::vector<HWND> m_windows;
};

// While it lives, the creation of windows of one class on this thread is
// refused, as if the system had run out of resources.
class CreationBlocker {
public:
  explicit CreationBlocker(const wchar_t* className);
  ~CreationBlocker();
  CreationBlocker(const CreationBlocker&) = delete;
  CreationBlocker& operator=(const CreationBlocker&) = delete;

  int refused() const noexcept { return m_refused; }

private:
  static LRESULT CALLBACK hook(int code, WPARAM wParam, LPARAM lParam);

  std::wstring m_className;
  HHOOK m_hook;
  int m_refused = 0;
};
