#include "CFrameworkWindow.h"

#include "CBrowserHost.h"
#include "CFrameworkController.h"
#include "CSystemTray.h"
#include "ComModule.h"
#include "Logger.h"
#include "LoggerManager.h"
#include "RegisteredMessages.h"
#include "ResourceStrings.h"
#include "StatusText.h"
#include "UniqueHandle.h"
#include "Variant.h"

#include "resource.h"

#include <mshtml.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>

namespace {
constexpr wchar_t kClassName[] = L"MirdexFrameworkWindow";
constexpr wchar_t kUserKey[] = L"Software\\Mirdex";
constexpr wchar_t kMainWindowValue[] = L"hMainWin";
constexpr wchar_t kViewerTitle[] = L"Mirdex Deskcast viewer";
constexpr wchar_t kViewerChildText[] = L"VNCviewer";

// Process-wide state of the window shell; the windows live on the
// user-interface thread only.
CFrameworkWindow* g_pKeyWindow = nullptr;
RECT g_rcMainWindow = {};
HINSTANCE g_moduleInstance = nullptr;
CFrameworkWindow* g_firstWindow = nullptr;

Logger& logger() noexcept {
  static Logger* const instance = LoggerManager::get("framework");
  return *instance;
}

// The text of a window, exactly as long as it is.
std::wstring windowText(HWND window) {
  std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}
}  // namespace

CFrameworkWindow::CFrameworkWindow(CFrameworkWindow* opener) noexcept
    : m_pOpener(opener), m_bMainWindow(opener == nullptr), m_pNextWindow(g_firstWindow) {
  if (opener) m_spController = opener->m_spController;
  g_firstWindow = this;
}

CFrameworkWindow::~CFrameworkWindow() {
  if (m_hWnd) {
    // Deleted by its owner while the window still exists: the window goes
    // first, without deleting this object a second time.
    m_bDeleting = true;
    ::DestroyWindow(m_hWnd);
  }
  if (m_bMainWindow) {
    withdrawMainWindow();
    m_pTray.reset();
  }
  if (g_pKeyWindow == this) g_pKeyWindow = nullptr;
  handOverOpened();
  for (CFrameworkWindow** link = &g_firstWindow; *link; link = &(*link)->m_pNextWindow) {
    if (*link == this) {
      *link = m_pNextWindow;
      break;
    }
  }
  // Pages may keep the companions longer than the window lives.
  if (m_spShell) m_spShell->setWindow(nullptr);
  if (m_spUIHandler) m_spUIHandler->setWindow(nullptr);
  if (m_pSink) m_pSink->disconnect();
}

void CFrameworkWindow::handOverOpened() noexcept {
  for (CFrameworkWindow* window = g_firstWindow; window; window = window->m_pNextWindow) {
    if (window->m_pOpener == this) window->m_pOpener = m_pOpener;
  }
}

CFrameworkWindow* CFrameworkWindow::keyWindow() noexcept { return g_pKeyWindow; }
void CFrameworkWindow::setKeyWindow(CFrameworkWindow* window) noexcept { g_pKeyWindow = window; }
RECT CFrameworkWindow::mainWindowRect() noexcept { return g_rcMainWindow; }
void CFrameworkWindow::setMainWindowRect(const RECT& rc) noexcept { g_rcMainWindow = rc; }
void CFrameworkWindow::setModuleInstance(HINSTANCE instance) noexcept {
  g_moduleInstance = instance;
}
HINSTANCE CFrameworkWindow::moduleInstance() noexcept { return g_moduleInstance; }

HINSTANCE CFrameworkWindow::resourceModule() noexcept {
  return g_moduleInstance ? g_moduleInstance : ComModule::moduleHandle();
}

void CFrameworkWindow::setHtmlWindow(IHTMLWindow2* window) noexcept { m_spHtmlWindow = window; }

void CFrameworkWindow::setMinimumSize(int width, int height) noexcept {
  m_minWidth = width;
  m_minHeight = height;
}

bool CFrameworkWindow::registerClass(HINSTANCE instance) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  if (::GetClassInfoExW(instance, kClassName, &wc)) return true;
  wc.lpfnWndProc = &CFrameworkWindow::windowProc;
  wc.cbWndExtra = sizeof(CFrameworkWindow*);
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kClassName;
  return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CFrameworkWindow::Create(const RECT& rc) {
  if (m_hWnd) return nullptr;
  const HINSTANCE instance = resourceModule();
  if (!registerClass(instance)) {
    logger().error("CFrameworkWindow::Create: %s", StatusText::lastError().c_str());
    return nullptr;
  }
  const HWND window =
      ::CreateWindowExW(kExStyle, kClassName, nullptr, kStyle, rc.left, rc.top, rc.right - rc.left,
                        rc.bottom - rc.top, nullptr, nullptr, instance, this);
  // A window whose creation failed has already seen its last message; the
  // object stays with the caller.
  m_bCreated = window != nullptr;
  return window;
}

CFrameworkWindow* CFrameworkWindow::fromWindow(HWND window) noexcept {
  wchar_t name[64];
  if (!window || !::GetClassNameW(window, name, 64)) return nullptr;
  if (std::wstring_view(name) != kClassName) return nullptr;
  return reinterpret_cast<CFrameworkWindow*>(::GetWindowLongPtrW(window, 0));
}

LRESULT CALLBACK CFrameworkWindow::windowProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  CFrameworkWindow* self = nullptr;
  if (message == WM_NCCREATE) {
    self = static_cast<CFrameworkWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->m_hWnd = window;
    ::SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<CFrameworkWindow*>(::GetWindowLongPtrW(window, 0));
  }
  if (!self) return ::DefWindowProcW(window, message, wParam, lParam);

  // The object may go with its window only once no handler of it is still
  // running further up the stack (a close sent from inside a handler).
  ++self->m_nesting;
  const LRESULT result = self->handleMessage(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(window, 0, 0);
    self->m_bWindowGone = true;
  }
  if (--self->m_nesting == 0 && self->m_bWindowGone) self->onFinalMessage();
  return result;
}

LRESULT CFrameworkWindow::defaultHandling(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CFrameworkWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return onCreate();
    case WM_DESTROY:
      onDestroy();
      return 0;
    case WM_KEYDOWN:
      return onKeyDown(wParam, lParam);
    case WM_SETFOCUS:
      g_pKeyWindow = this;
      return 1;
    case WM_NCHITTEST:
      return onNcHitTest();
    case WM_SIZE:
      onSize();
      return 0;
    case WM_DROPFILES:
      onDropFiles(reinterpret_cast<HDROP>(wParam));
      return 0;
    case WM_WINDOWPOSCHANGED: {
      const LRESULT result = defaultHandling(message, wParam, lParam);
      onWindowPosChanged();
      return result;
    }
    case WM_SYSCOMMAND:
      return onSysCommand(wParam, lParam);
    case WM_QUERYENDSESSION:
      return onQueryEndSession(wParam, lParam);
    case WM_ACTIVATE:
      return onActivate(wParam, lParam);
    case WM_TIMER:
      onTimer(static_cast<UINT_PTR>(wParam));
      return defaultHandling(message, wParam, lParam);
    case kTrayIconMessage:
      if (!m_pTray) break;
      onTrayNotify(wParam, lParam);
      return 0;
    case WM_COMMAND:  // the tray menu's commands
      if (!m_pTray) break;
      onTrayCommand(LOWORD(wParam));
      return 0;
    default:
      if (message == RegisteredMessages::getViewerHwnd()) {
        onGetViewerHwnd();
        return 0;
      }
      if (message == RegisteredMessages::restoreFromTray() && m_pTray) {
        onRestoreFromTray();
        return 0;
      }
      if (message == RegisteredMessages::appBar() && m_bAppBarRegistered) {
        onAppBarNotify(wParam, lParam);
        return 0;
      }
      break;
  }
  return defaultHandling(message, wParam, lParam);
}

void CFrameworkWindow::onFinalMessage() noexcept {
  m_hWnd = nullptr;
  m_bWindowGone = false;
  if (g_pKeyWindow == this) g_pKeyWindow = nullptr;
  if (!m_bCreated) return;
  if (m_bMainWindow) {
    if (CFrameworkController* controller =
            CFrameworkController::fromInterface(m_spController.get())) {
      controller->setMainWindow(nullptr);
    }
    ::PostQuitMessage(0);
  }
  if (!m_bDeleting) delete this;
}

LRESULT CFrameworkWindow::onCreate() {
  const HINSTANCE instance = resourceModule();
  if (const HICON icon = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_ONLINE))) {
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  }
  // Input stays off until the page is ready for it and enables it.
  const LONG_PTR style = ::GetWindowLongPtrW(m_hWnd, GWL_STYLE);
  if (!(style & WS_DISABLED)) ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, style | WS_DISABLED);

  RECT client;
  ::GetClientRect(m_hWnd, &client);
  m_wndHost = CBrowserHost::createWindow(m_hWnd, client, instance);
  CBrowserHost* host = CBrowserHost::fromWindow(m_wndHost);
  if (!host) {
    logger().error("CFrameworkWindow::OnCreate: fail to create host window: %s",
                   StatusText::lastError().c_str());
    return -1;
  }

  HRESULT hr = ComObject<CFrameworkShell>::create(m_spShell);
  if (FAILED(hr)) {
    logger().error("CFrameworkWindow::OnCreate: fail to create shell: %s", StatusText(hr).c_str());
    return -1;
  }
  m_spShell->setWindow(this);

  hr = ComObject<CFrameworkUIHandler>::create(m_spUIHandler);
  if (FAILED(hr)) {
    logger().error("CFrameworkWindow::OnCreate: fail to create UI handler: %s",
                   StatusText(hr).c_str());
    return -1;
  }
  m_spUIHandler->setWindow(this);
  host->setExternalUIHandler(m_spUIHandler.get());

  // A window without a browser still works as a window; it shows nothing.
  hr = host->createBrowser(m_spBrowser);
  if (FAILED(hr)) {
    logger().error("CFrameworkWindow::OnCreate: fail to create browser: %s",
                   StatusText(hr).c_str());
  } else {
    Navigate(ResourceStrings::load(instance, IDS_LOADING_URL).c_str());
  }

  if (m_pSink) m_pSink->disconnect();
  m_pSink.reset();
  hr = ComObject<CFrameworkUISink>::create(m_pSink, this);
  if (SUCCEEDED(hr) && m_spBrowser) hr = m_pSink->advise(m_spBrowser.get());
  if (FAILED(hr)) {
    logger().error("CFrameworkWindow::OnCreate: fail to follow browser events: %s",
                   StatusText(hr).c_str());
  }

  ::GetWindowRect(m_hWnd, &m_rcRestore);
  if (m_bMainWindow) {
    g_rcMainWindow = m_rcRestore;
    publishMainWindow();
  }
  return 0;
}

void CFrameworkWindow::publishMainWindow() noexcept {
  RegKey key;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, kUserKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS) {
    return;
  }
  // Window handles fit in 32 bits, also in 64-bit processes.
  const DWORD handle = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(m_hWnd));
  ::RegSetValueExW(key.get(), kMainWindowValue, 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&handle), sizeof(handle));
}

void CFrameworkWindow::withdrawMainWindow() noexcept {
  RegKey key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kUserKey, 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS) {
    ::RegDeleteValueW(key.get(), kMainWindowValue);
  }
}

HRESULT CFrameworkWindow::Navigate(const wchar_t* url) {
  if (!url) return E_INVALIDARG;
  if (!m_spBrowser) return E_UNEXPECTED;
  HRESULT hr;
  try {
    Variant target(url);
    Variant none;
    hr = m_spBrowser->Navigate2(&target, &none, &none, &none, &none);
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  }
  if (FAILED(hr)) logger().error("CFrameworkWindow::Navigate: %s", StatusText(hr).c_str());
  return hr;
}

void CFrameworkWindow::onDestroy() noexcept {
  if (m_bMainWindow) m_pTray.reset();
  if (m_bAppBarRegistered) unregisterAppBar();
  if (m_pSink) m_pSink->disconnect();
  m_pSink.reset();
  if (m_wndHost) {
    ::DestroyWindow(m_wndHost);
    m_wndHost = nullptr;
  }
}

LRESULT CFrameworkWindow::onKeyDown(WPARAM wParam, LPARAM lParam) noexcept {
  ComPtr<IOleInPlaceActiveObject> active;
  if (!m_spBrowser ||
      FAILED(m_spBrowser->QueryInterface(IID_IOleInPlaceActiveObject, active.putVoid()))) {
    return 1;
  }
  MSG message = {};
  message.hwnd = m_hWnd;
  message.message = WM_KEYDOWN;
  message.wParam = wParam;
  message.lParam = lParam;
  message.time = static_cast<DWORD>(::GetMessageTime());
  const DWORD position = ::GetMessagePos();
  message.pt = {static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
  return active->TranslateAccelerator(&message);
}

LRESULT CFrameworkWindow::onNcHitTest() noexcept {
  if (m_bAutoHide && m_bHidden) startHoverTimer();
  return kHitTestAnswer;
}

void CFrameworkWindow::onSize() noexcept {
  RECT rc;
  if (!::GetWindowRect(m_hWnd, &rc)) return;
  int width = rc.right - rc.left;
  int height = rc.bottom - rc.top;
  if (width < m_minWidth || height < m_minHeight) {
    width = std::max(width, m_minWidth);
    height = std::max(height, m_minHeight);
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, width, height,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED);
  }
  if (m_windowType == 1) return;
  GdiRegion region(m_windowType == 3 ? ::CreateRectRgn(0, 0, width + 1, height + 1)
                                     : ::CreateRoundRectRgn(0, 0, width + 1, height + 1, 5, 5));
  // The window owns the region once it is set.
  if (region && ::SetWindowRgn(m_hWnd, region.get(), TRUE)) region.release();
  RECT client;
  ::GetClientRect(m_hWnd, &client);
  if (m_wndHost) {
    ::MoveWindow(m_wndHost, client.left, client.top, client.right - client.left,
                 client.bottom - client.top, TRUE);
  }
}

void CFrameworkWindow::onDropFiles(HDROP drop) noexcept {
  // The whole path, however long: a cut path would name another file.
  const UINT length = ::DragQueryFileW(drop, 0, nullptr, 0);
  Bstr path;
  if (length != 0) {
    path.reset(::SysAllocStringLen(nullptr, length));
    if (!path.isNull() && ::DragQueryFileW(drop, 0, path.get(), length + 1) != length) path.reset();
  }
  m_bstrDropFilePath = std::move(path);
  ::DragFinish(drop);
  logger().debug("IN drop files.....................................................");
}

LRESULT CFrameworkWindow::onSysCommand(WPARAM wParam, LPARAM lParam) noexcept {
  const UINT command = static_cast<UINT>(wParam & 0xFFF0);
  // A docked window stays where it is.
  if (command == SC_MINIMIZE && m_dockEdge != 0) return 0;
  // The default handling ignores system commands while the window is
  // disabled, and a window stays disabled until its page enables input: a
  // page that never loads (no user interface service, a broken page) would
  // leave the program impossible to close with the quit switch. Closing is
  // what the default handling would do for an enabled window.
  if (command == SC_CLOSE && m_hWnd && !::IsWindowEnabled(m_hWnd))
    return ::SendMessageW(m_hWnd, WM_CLOSE, 0, 0);
  const LRESULT result = defaultHandling(WM_SYSCOMMAND, wParam, lParam);
  if ((command == SC_MOVE || command == SC_SIZE) && m_bMainWindow && result == 0 && m_hWnd &&
      ::IsWindowVisible(m_hWnd)) {
    ::GetWindowRect(m_hWnd, &g_rcMainWindow);
  }
  return result;
}

LRESULT CFrameworkWindow::onQueryEndSession(WPARAM wParam, LPARAM lParam) noexcept {
  if (!m_bMainWindow) return defaultHandling(WM_QUERYENDSESSION, wParam, lParam);
  // The page decides whether and how the program ends.
  if (m_spShell) m_spShell->fireOnExitNow();
  return 0;
}

void CFrameworkWindow::onGetViewerHwnd() noexcept {
  try {
    if (windowText(::GetAncestor(m_hWnd, GA_ROOT)) != kViewerTitle) return;
  } catch (const std::bad_alloc&) {
    return;
  }
  ::EnumChildWindows(m_hWnd, &CFrameworkWindow::findViewerChild, reinterpret_cast<LPARAM>(this));
}

BOOL CALLBACK CFrameworkWindow::findViewerChild(HWND child, LPARAM self) noexcept {
  try {
    if (windowText(child) != kViewerChildText) return TRUE;
  } catch (const std::bad_alloc&) {
    return TRUE;
  }
  reinterpret_cast<CFrameworkWindow*>(self)->m_hViewerWnd = child;
  return FALSE;
}

LRESULT CFrameworkWindow::onActivate(WPARAM wParam, LPARAM lParam) noexcept {
  if (m_bAppBarRegistered) onAppBarActivated();
  if (m_hViewerWnd && ::IsWindow(m_hViewerWnd)) {
    ::SendMessageW(m_hViewerWnd, WM_ACTIVATE, wParam, lParam);
  }
  return defaultHandling(WM_ACTIVATE, wParam, lParam);
}
