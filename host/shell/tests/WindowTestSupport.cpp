#include "WindowTestSupport.h"

#include "UniqueHandle.h"

namespace {
CreationBlocker* g_blocker = nullptr;
}  // namespace

void WindowTest::SetUp() {
  ASSERT_TRUE(m_apartment.ok());
  pumpMessages();
}

void WindowTest::TearDown() {
  for (HWND window : m_windows) {
    if (::IsWindow(window)) ::DestroyWindow(window);
  }
  // Quit messages of destroyed main windows must not reach the next test.
  pumpMessages();
  CFrameworkWindow::setKeyWindow(nullptr);
}

CFrameworkWindow* WindowTest::create(CFrameworkWindow* opener, RECT rc) {
  auto* window = new CFrameworkWindow(opener);
  if (!window->Create(rc)) {
    delete window;
    ADD_FAILURE() << "window not created";
    return nullptr;
  }
  m_windows.push_back(window->hwnd());
  return window;
}

bool WindowTest::pumpMessages(WPARAM* quitCode) {
  bool quit = false;
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      quit = true;
      if (quitCode) *quitCode = message.wParam;
      continue;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return quit;
}

bool WindowTest::readMainWindowValue(DWORD& value) {
  DWORD type = 0;
  DWORD size = sizeof(value);
  return ::RegGetValueW(HKEY_CURRENT_USER, L"Software\\Mirdex", L"hMainWin", RRF_RT_ANY, &type,
                        &value, &size) == ERROR_SUCCESS &&
         type == REG_DWORD;
}

RECT WindowTest::windowRect(HWND window) {
  RECT rc = {};
  ::GetWindowRect(window, &rc);
  return rc;
}

std::wstring WindowTest::windowText(HWND window) {
  wchar_t text[512] = {};
  ::GetWindowTextW(window, text, 512);
  return text;
}

CreationBlocker::CreationBlocker(const wchar_t* className)
    : m_className(className),
      m_hook(::SetWindowsHookExW(WH_CBT, &CreationBlocker::hook, nullptr, ::GetCurrentThreadId())) {
  g_blocker = this;
}

CreationBlocker::~CreationBlocker() {
  if (m_hook) ::UnhookWindowsHookEx(m_hook);
  g_blocker = nullptr;
}

LRESULT CALLBACK CreationBlocker::hook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND && g_blocker) {
    wchar_t name[128] = {};
    ::GetClassNameW(reinterpret_cast<HWND>(wParam), name, 128);
    if (g_blocker->m_className == name) {
      ++g_blocker->m_refused;
      return 1;
    }
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}
