#include "CFrameworkShell.h"

#include "Bstr.h"
#include "CFrameworkWindow.h"
#include "ComPtr.h"
#include "Logger.h"
#include "LoggerManager.h"
#include "StatusText.h"

#include <mshtml.h>
#include <shlobj.h>

#include <cstdio>
#include <new>
#include <string_view>

namespace {

// Where pages keep their shortcuts; the same folder for every user ID.
constexpr wchar_t kShortcutFolder[] = L"%appdata%\\Mirdex\\shortcuts\\";
// Room for the expanded folder, its terminator included.
constexpr DWORD kShortcutFolderRoom = 256;

// WindowSystemCommand's commands.
enum SystemCommand : int {
  kDragByCaption = 1,
  kClose = 2,
  kMinimize = 3,
  kDockLeft = 4,
  kDockRight = 5,
  kDockTop = 6,
  kDockBottom = 7,
  kUndock = 8,
  kMaximize = 9,
  kSizeByLeft = 10,
  kSizeByBottomRight = 11,
  kSizeByRight = 12,
  kBringToFront = 13,
  kSizeByTop = 14,
  kSizeByBottom = 15,
  kSizeByBottomLeft = 16,
};

// Dock edges, as the window and the page's handler know them.
constexpr int kEdgeLeft = 1;
constexpr int kEdgeRight = 2;
constexpr int kEdgeTop = 4;
constexpr int kEdgeBottom = 8;

Logger& logger() noexcept {
  static Logger* const instance = LoggerManager::get("framework");
  return *instance;
}

std::wstring_view viewOf(BSTR text) noexcept { return {text ? text : L"", ::SysStringLen(text)}; }

// A fresh copy of text for an out-parameter: an empty string (never null)
// when there is no text.
HRESULT copyText(const Bstr* text, BSTR* out) noexcept {
  *out = text ? ::SysAllocStringLen(text->c_str(), text->length()) : ::SysAllocString(L"");
  return *out ? S_OK : E_OUTOFMEMORY;
}

// A 16-bit integer argument for a page's handler.
VARIANT shortArgument(short value) noexcept {
  VARIANT v;
  ::VariantInit(&v);
  V_VT(&v) = VT_I2;
  V_I2(&v) = value;
  return v;
}

VARIANT longArgument(LONG value) noexcept {
  VARIANT v;
  ::VariantInit(&v);
  V_VT(&v) = VT_I4;
  V_I4(&v) = value;
  return v;
}

// An absolute path: a drive and its root, or a network share. What an
// undefined variable leaves behind ("%appdata%\...") is neither.
bool isAbsolutePath(std::wstring_view path) noexcept {
  if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return true;
  return path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\';
}

// The shortcut folder, expanded and created with every missing folder
// along it; empty when it cannot be.
Bstr makeShortcutFolder() {
  wchar_t folder[kShortcutFolderRoom];
  const DWORD needed = ::ExpandEnvironmentStringsW(kShortcutFolder, folder, kShortcutFolderRoom);
  if (needed == 0) {
    logger().error("CFrameworkShell::GetShortcutDir: %s", StatusText::lastError().c_str());
    return Bstr();
  }
  if (needed > kShortcutFolderRoom) {
    logger().error("CFrameworkShell::GetShortcutDir: folder longer than %lu characters",
                   static_cast<unsigned long>(kShortcutFolderRoom - 1));
    return Bstr();
  }
  // Left unexpanded, the folder would be made relative to the current
  // directory, wherever that is.
  if (!isAbsolutePath(folder)) {
    logger().error("CFrameworkShell::GetShortcutDir: no application data folder: %S", folder);
    return Bstr();
  }
  const int created = ::SHCreateDirectoryExW(nullptr, folder, nullptr);
  if (created != ERROR_SUCCESS && created != ERROR_ALREADY_EXISTS) {
    logger().error("CFrameworkShell::GetShortcutDir: fail to create %S: %s", folder,
                   StatusText(static_cast<DWORD>(created)).c_str());
    return Bstr();
  }
  // Something else than a folder may already have the name.
  const DWORD attributes = ::GetFileAttributesW(folder);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    logger().error("CFrameworkShell::GetShortcutDir: %S is not a folder", folder);
    return Bstr();
  }
  return Bstr(folder);
}

}  // namespace

std::span<const InterfaceEntry<CFrameworkShell>> CFrameworkShell::interfaceMap() noexcept {
  static constexpr InterfaceEntry<CFrameworkShell> map[] = {
      interfaceEntry<CFrameworkShell, IFrameworkShell>(IID_IFrameworkShell),
      interfaceEntry<CFrameworkShell, IDispatch, IFrameworkShell>(IID_IDispatch),
      interfaceEntry<CFrameworkShell, IObjectSafety>(IID_IObjectSafety),
  };
  return map;
}

HWND CFrameworkShell::liveWindow() const noexcept {
  const HWND window = m_pWindow ? m_pWindow->hwnd() : nullptr;
  return window && ::IsWindow(window) ? window : nullptr;
}

void CFrameworkShell::placeWindow(HWND window, HWND after, int x, int y, int width, int height,
                                  UINT flags, const char* method) noexcept {
  if (!::SetWindowPos(window, after, x, y, width, height, flags)) {
    logger().error("CFrameworkShell::%s: %s", method, StatusText::lastError().c_str());
  }
}

void CFrameworkShell::changeStyle(HWND window, int which, LONG_PTR remove, LONG_PTR add) noexcept {
  const LONG_PTR style = ::GetWindowLongPtrW(window, which);
  const LONG_PTR changed = (style & ~remove) | add;
  if (changed != style) ::SetWindowLongPtrW(window, which, changed);
}

// ---------------------------------------------------------------------------
// The page's handlers

void CFrameworkShell::fire(const ScriptCallback& callback, std::span<const VARIANT> args) noexcept {
  const HRESULT hr = callback.invoke(args);
  if (FAILED(hr)) logger().debug("CFrameworkShell::fire: %s", StatusText(hr).c_str());
}

void CFrameworkShell::fireOnExitNow() noexcept { fire(m_onExitNow, {}); }

void CFrameworkShell::fireOnDockStateChange(unsigned int edge, bool hidden) noexcept {
  VARIANT args[2];
  ::VariantInit(&args[0]);
  V_VT(&args[0]) = VT_UI4;
  V_UI4(&args[0]) = edge;
  args[1] = shortArgument(hidden ? 1 : 0);
  fire(m_onDockStateChange, args);
}

void CFrameworkShell::fireOnFullScreenApp() noexcept {
  const VARIANT args[] = {shortArgument(1)};
  fire(m_onFullScreenApp, args);
}

void CFrameworkShell::fireOnOpenConfig() noexcept { fire(m_onOpenConfig, {}); }

void CFrameworkShell::fireOnRestoreFromSystemTray() noexcept {
  fire(m_onRestoreFromSystemTray, {});
}

MIRDEX_HANDLER_PROPERTY(CFrameworkShell, WindowMovedProc, m_windowMovedProc)
MIRDEX_HANDLER_PROPERTY(CFrameworkShell, OnDockStateChange, m_onDockStateChange)
MIRDEX_HANDLER_PROPERTY(CFrameworkShell, OnFullScreenApp, m_onFullScreenApp)
MIRDEX_HANDLER_PROPERTY(CFrameworkShell, onExitNow, m_onExitNow)
MIRDEX_HANDLER_PROPERTY(CFrameworkShell, onOpenConfig, m_onOpenConfig)
MIRDEX_HANDLER_PROPERTY(CFrameworkShell, onRestoreMirdexFromSystemTray, m_onRestoreFromSystemTray)

STDMETHODIMP CFrameworkShell::UpdateWindowMovement(int deltaX, int deltaY) noexcept {
  if (m_windowType != 0) return S_OK;
  if (!m_windowMovedProc.isSet()) {
    std::fputs("window move proc is not available\n", stdout);
    std::fflush(stdout);
    return S_OK;
  }
  std::fputs("window moved proc is available\n", stdout);
  std::fflush(stdout);
  const VARIANT args[] = {longArgument(deltaX), longArgument(deltaY)};
  fire(m_windowMovedProc, args);
  return S_OK;
}

// ---------------------------------------------------------------------------
// The page's parameters and objects

STDMETHODIMP CFrameworkShell::get_Controller(IFrameworkController** pController) noexcept {
  if (!pController) return S_OK;
  *pController = nullptr;
  // The main window holds the controller; every other window was opened,
  // directly or not, from its page.
  CFrameworkWindow* root = m_pWindow;
  while (root && root->opener()) root = root->opener();
  if (IFrameworkController* controller = root ? root->controller() : nullptr) {
    controller->AddRef();
    *pController = controller;
  }
  return S_OK;
}

STDMETHODIMP CFrameworkShell::get_QueryString(BSTR* pQuery) noexcept {
  if (!pQuery) return E_POINTER;
  *pQuery = nullptr;
  return copyText(m_pWindow ? &m_pWindow->queryString() : nullptr, pQuery);
}

STDMETHODIMP CFrameworkShell::put_QueryString(BSTR newVal) noexcept {
  if (!m_pWindow) return S_OK;
  try {
    m_pWindow->setQueryString(Bstr(viewOf(newVal)));
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CFrameworkShell::get_HtmlWindow(IDispatch** pWindow) noexcept {
  if (!pWindow) return E_POINTER;
  *pWindow = nullptr;
  if (IHTMLWindow2* window = m_pWindow ? m_pWindow->htmlWindow() : nullptr) {
    window->AddRef();
    *pWindow = window;
  }
  return S_OK;
}

STDMETHODIMP CFrameworkShell::put_HtmlWindow(IDispatch* newVal) noexcept {
  if (!m_pWindow) return S_OK;
  ComPtr<IHTMLWindow2> window;
  if (newVal && FAILED(newVal->QueryInterface(IID_IHTMLWindow2, window.putVoid()))) {
    logger().error("CFrameworkShell::put_HtmlWindow: not an html window");
  }
  m_pWindow->setHtmlWindow(window.get());
  return S_OK;
}

STDMETHODIMP CFrameworkShell::get_dropFilePath(BSTR* pPath) noexcept {
  if (!pPath) return E_POINTER;
  *pPath = nullptr;
  return copyText(m_pWindow ? &m_pWindow->dropFilePath() : nullptr, pPath);
}

STDMETHODIMP CFrameworkShell::GetShortcutDir(BSTR /*miRdexID*/, BSTR* pDir) noexcept {
  if (!pDir) return E_POINTER;
  *pDir = nullptr;
  try {
    const Bstr folder = makeShortcutFolder();
    return copyText(&folder, pDir);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

// ---------------------------------------------------------------------------
// The window's frame, place and state

STDMETHODIMP CFrameworkShell::WindowSystemCommand(int cmd) noexcept {
  const HWND window = liveWindow();
  if (!window) return S_OK;
  switch (cmd) {
    case kDragByCaption:
      dragByFrame(window, HTCAPTION, false);
      break;
    case kClose:
      // Posted: the page that asks is still running in the browser the
      // close destroys.
      ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
      break;
    case kMinimize:
      ::SendMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
      break;
    case kDockLeft:
      m_pWindow->dockToEdge(kEdgeLeft);
      break;
    case kDockRight:
      m_pWindow->dockToEdge(kEdgeRight);
      break;
    case kDockTop:
      m_pWindow->dockToEdge(kEdgeTop);
      break;
    case kDockBottom:
      m_pWindow->dockToEdge(kEdgeBottom);
      break;
    case kUndock:
      m_pWindow->undock();
      break;
    case kMaximize:
      ::SendMessageW(window, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
      break;
    case kSizeByLeft:
      dragByFrame(window, HTLEFT, false);
      break;
    case kSizeByBottomRight:
      dragByFrame(window, HTBOTTOMRIGHT, true);
      break;
    case kSizeByRight:
      dragByFrame(window, HTRIGHT, false);
      break;
    case kBringToFront:
      bringToFront(window);
      break;
    case kSizeByTop:
      dragByFrame(window, HTTOP, false);
      break;
    case kSizeByBottom:
      dragByFrame(window, HTBOTTOM, false);
      break;
    case kSizeByBottomLeft:
      dragByFrame(window, HTBOTTOMLEFT, true);
      break;
    default:
      break;
  }
  return S_OK;
}

void CFrameworkShell::dragByFrame(HWND window, WPARAM area, bool withoutSystemMenu) noexcept {
  const bool dropMenu =
      withoutSystemMenu && (::GetWindowLongPtrW(window, GWL_STYLE) & WS_SYSMENU) != 0;
  if (dropMenu) changeStyle(window, GWL_STYLE, WS_SYSMENU, 0);
  POINT cursor = {};
  ::GetCursorPos(&cursor);
  // The page's element holds the capture while its button is down; the
  // system's move or size loop needs it.
  ::ReleaseCapture();
  ::SendMessageW(window, WM_NCLBUTTONDOWN, area,
                 MAKELPARAM(static_cast<WORD>(cursor.x), static_cast<WORD>(cursor.y)));
  // The loop has ended; the window may have ended in it.
  if (dropMenu && liveWindow() == window) changeStyle(window, GWL_STYLE, 0, WS_SYSMENU);
}

void CFrameworkShell::bringToFront(HWND window) noexcept {
  ::ShowWindow(window, SW_SHOWNORMAL);
  // In front of every window that is not topmost, and not topmost itself.
  placeWindow(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE, "WindowSystemCommand");
  placeWindow(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE, "WindowSystemCommand");
}

STDMETHODIMP CFrameworkShell::SetWindowStyle(int style) noexcept {
  const HWND window = liveWindow();
  if (!window) return S_OK;
  // The frame is left as it is drawn until the window next changes.
  switch (style) {
    case 0:
      changeStyle(window, GWL_STYLE, WS_CAPTION | WS_MINIMIZEBOX, WS_THICKFRAME | WS_MAXIMIZEBOX);
      break;
    case 1:
      changeStyle(window, GWL_STYLE, WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MAXIMIZEBOX, 0);
      break;
    default:
      break;
  }
  return S_OK;
}

STDMETHODIMP CFrameworkShell::get_WindowType(short* pType) noexcept {
  if (!pType) return E_POINTER;
  *pType = m_windowType;
  return S_OK;
}

STDMETHODIMP CFrameworkShell::put_WindowType(short newVal) noexcept {
  m_windowType = newVal;
  if (m_pWindow) m_pWindow->setWindowType(newVal);
  return S_OK;
}

STDMETHODIMP CFrameworkShell::SetWindowSize(int width, int height) noexcept {
  const HWND window = liveWindow();
  if (!window) return S_OK;
  if (width < m_pWindow->minWidth() || height < m_pWindow->minHeight()) return S_OK;
  placeWindow(window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE,
              "SetWindowSize");
  return S_OK;
}

STDMETHODIMP CFrameworkShell::get_WindowPosX(int* pX) noexcept {
  if (!pX) return E_POINTER;
  RECT rc = {};
  if (const HWND window = liveWindow()) ::GetWindowRect(window, &rc);
  *pX = rc.left;
  return S_OK;
}

STDMETHODIMP CFrameworkShell::get_WindowPosY(int* pY) noexcept {
  if (!pY) return E_POINTER;
  RECT rc = {};
  if (const HWND window = liveWindow()) ::GetWindowRect(window, &rc);
  *pY = rc.top;
  return S_OK;
}

STDMETHODIMP CFrameworkShell::MoveWindowTo(int left, int top) noexcept {
  const HWND window = liveWindow();
  if (!window || left < 0 || top < 0) return S_OK;
  const int screenWidth = ::GetSystemMetrics(SM_CXSCREEN);
  if (left > screenWidth) {
    RECT rc = {};
    ::GetWindowRect(window, &rc);
    left = screenWidth - (rc.right - rc.left);
  }
  placeWindow(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE,
              "MoveWindowTo");
  return S_OK;
}

STDMETHODIMP CFrameworkShell::SetMinimumWindowSize(int minimumWidth, int minimumHeight) noexcept {
  if (m_pWindow) m_pWindow->setMinimumSize(minimumWidth, minimumHeight);
  return S_OK;
}

STDMETHODIMP CFrameworkShell::SetWindowAlwaysOnTop(VARIANT_BOOL alwaysOnTop) noexcept {
  const HWND window = liveWindow();
  if (!window) return S_OK;
  if (alwaysOnTop) {
    placeWindow(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOOWNERZORDER,
                "SetWindowAlwaysOnTop");
  } else {
    placeWindow(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE,
                "SetWindowAlwaysOnTop");
  }
  return S_OK;
}

STDMETHODIMP CFrameworkShell::enableDropFile(VARIANT_BOOL enable) noexcept {
  if (const HWND window = liveWindow()) {
    changeStyle(window, GWL_EXSTYLE, enable ? 0 : WS_EX_ACCEPTFILES,
                enable ? WS_EX_ACCEPTFILES : 0);
  }
  return S_OK;
}

STDMETHODIMP CFrameworkShell::setWindowVisible(VARIANT_BOOL visible) noexcept {
  if (const HWND window = liveWindow()) ::ShowWindow(window, visible ? SW_SHOWNORMAL : SW_HIDE);
  return S_OK;
}

STDMETHODIMP CFrameworkShell::GetWindowHandle(LONG* pHandle) noexcept {
  if (!pHandle) return E_POINTER;
  // Window handles fit in 32 bits, also in 64-bit processes.
  *pHandle = static_cast<LONG>(reinterpret_cast<LONG_PTR>(liveWindow()));
  return S_OK;
}

STDMETHODIMP CFrameworkShell::EnableInput(VARIANT_BOOL enable) noexcept {
  if (const HWND window = liveWindow()) ::EnableWindow(window, enable ? TRUE : FALSE);
  return S_OK;
}

STDMETHODIMP CFrameworkShell::GetWindowAppBarSide(unsigned int* pSide) noexcept {
  if (!pSide) return E_POINTER;
  *pSide = m_pWindow ? static_cast<unsigned int>(m_pWindow->dockEdge()) : 0;
  return S_OK;
}

// ---------------------------------------------------------------------------
// Shapes, docking, the tray, launching and auto-run come with their own work.

STDMETHODIMP CFrameworkShell::LoadBackground(int) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::MinimizeToSystemTray() noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::RestoreFromSystemTray() noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::launchApp(BSTR, LONG*) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::invokeShareWebBrowser(BSTR, LONG*) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::invokeShareWhiteboard(LONG*) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::bringWindowToTop(LONG) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::SetWindowTranslucent(VARIANT_BOOL) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::SetWindowShadow(int) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::ShowStatusInSystemTray(int) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::SetAppBarAutoHide(VARIANT_BOOL) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::DetectShowAppBar() noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::DoShowAppBar() noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::SetTrayIconTooltip(BSTR) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::SetAutoRun(VARIANT_BOOL) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::GetAutoRun(VARIANT_BOOL*) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::ShowIconInSystemTray() noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::get_IsWindowInSystemTray(VARIANT_BOOL*) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::LaunchProgram(BSTR, BSTR, BSTR, LONG) noexcept { return E_NOTIMPL; }
