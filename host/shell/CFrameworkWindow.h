#pragma once
// A top-level window of the host whose whole client area is a web-browser
// control showing a page. The first one is the main window, created by the
// start-up code; pages open further ones (see CFrameworkUISink). Each window
// owns its companions: the shell object its pages reach as their external
// object, the browser's UI handler and the browser event sink.
//
// Lifetime: construct with the opener (null for the main window), then
// Create. Once Create has returned a window, the object deletes itself when
// that window is destroyed; destroying the main window also ends the
// message loop. An object whose window was never created (or whose
// creation failed) belongs to its creator, who deletes it; deleting an
// object whose window still exists destroys the window first.
#include "Bstr.h"
#include "CFrameworkShell.h"
#include "CFrameworkUIHandler.h"
#include "CFrameworkUISink.h"
#include "ComObject.h"
#include "ComPtr.h"
#include "FrameworkLib.h"

#include <windows.h>
#include <exdisp.h>
#include <shellapi.h>

#include <memory>

struct IHTMLWindow2;
class CSystemTray;

class CFrameworkWindow {
public:
  // Window styles at creation: overlapped window with clip-children and
  // clip-siblings; application window with a window edge.
  static constexpr DWORD kStyle = 0x06CF0000;
  static constexpr DWORD kExStyle = 0x00040100;
  // Smallest window size, until a page sets another.
  static constexpr int kMinWidth = 242;
  static constexpr int kMinHeight = 512;
  // The answer to every hit test: no area of the frame, so neither frame
  // nor caption take mouse actions (pages move and size the window).
  static constexpr LRESULT kHitTestAnswer = 132;
  // The message the main window's tray icon notifies it with.
  static constexpr UINT kTrayIconMessage = 0x800A;

  explicit CFrameworkWindow(CFrameworkWindow* opener) noexcept;
  ~CFrameworkWindow();
  CFrameworkWindow(const CFrameworkWindow&) = delete;
  CFrameworkWindow& operator=(const CFrameworkWindow&) = delete;

  // Creates the window over rc, without a title and hidden: the creator
  // shows it. Null on failure.
  HWND Create(const RECT& rc);

  HWND hwnd() const noexcept { return m_hWnd; }
  CFrameworkWindow* opener() const noexcept { return m_pOpener; }
  bool isMainWindow() const noexcept { return m_bMainWindow; }
  // The window object of a window handle; null for other windows.
  static CFrameworkWindow* fromWindow(HWND window) noexcept;

  // The framework controller, given by the start-up code to the main
  // window; other windows take their opener's.
  void setController(IFrameworkController* controller) noexcept { m_spController = controller; }
  IFrameworkController* controller() const noexcept { return m_spController.get(); }

  // Navigates the browser to url (no flags, frame, post data or headers).
  HRESULT Navigate(const wchar_t* url);

  // The companions.
  HWND hostWindow() const noexcept { return m_wndHost; }
  IWebBrowser2* browser() const noexcept { return m_spBrowser.get(); }
  CFrameworkUIHandler* uiHandler() const noexcept { return m_spUIHandler.get(); }
  CFrameworkShell* shell() const noexcept { return m_spShell.get(); }
  CFrameworkUISink* sink() const noexcept { return m_pSink.get(); }

  // The query string taken from the last res: URL the browser loaded.
  const Bstr& queryString() const noexcept { return m_bstrQueryString; }
  void setQueryString(Bstr query) noexcept { m_bstrQueryString = std::move(query); }
  // Hands the query string over, leaving this window's empty.
  Bstr takeQueryString() noexcept { return std::move(m_bstrQueryString); }

  // The page's window object, as the page recorded it through its shell.
  IHTMLWindow2* htmlWindow() const noexcept { return m_spHtmlWindow.get(); }
  void setHtmlWindow(IHTMLWindow2* window) noexcept;

  // The full path of the last file dropped on the window.
  const Bstr& dropFilePath() const noexcept { return m_bstrDropFilePath; }
  // The embedded viewer window found by "MirdexGetViewerHwnd".
  HWND viewerWindow() const noexcept { return m_hViewerWnd; }

  // The region rule applied on resize: 1 none, 3 rectangular, anything
  // else rounded corners.
  int windowType() const noexcept { return m_windowType; }
  void setWindowType(int type) noexcept { m_windowType = type; }
  int minWidth() const noexcept { return m_minWidth; }
  int minHeight() const noexcept { return m_minHeight; }
  // Applied on the next resize.
  void setMinimumSize(int width, int height) noexcept;
  // 0 not docked, 1 left, 2 right, 4 top, 8 bottom.
  int dockEdge() const noexcept { return m_dockEdge; }
  // A page's request to dock the window to an edge (1 left, 2 right,
  // 4 top, 8 bottom) or to undock it. Docking comes with its own work;
  // until then the requests leave the window as it is.
  void dockToEdge(int /*edge*/) noexcept {}
  void undock() noexcept {}

  // The window that last received the keyboard focus: the message loop
  // hands it every keyboard message first. Cleared when that window goes.
  static CFrameworkWindow* keyWindow() noexcept;
  static void setKeyWindow(CFrameworkWindow* window) noexcept;
  // The last known rectangle of the main window while it is neither docked
  // nor hidden.
  static RECT mainWindowRect() noexcept;
  static void setMainWindowRect(const RECT& rc) noexcept;
  // The module instance recorded by the start-up code once the main window
  // is shown; null until then.
  static void setModuleInstance(HINSTANCE instance) noexcept;
  static HINSTANCE moduleInstance() noexcept;
  // Where the windows' resources come from: the recorded module instance,
  // or before that the module this code is linked into.
  static HINSTANCE resourceModule() noexcept;

private:
  static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static bool registerClass(HINSTANCE instance);

  LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT defaultHandling(UINT message, WPARAM wParam, LPARAM lParam) noexcept;
  // After the window's last message.
  void onFinalMessage() noexcept;
  // Windows this one opened answer to its opener from now on.
  void handOverOpened() noexcept;

  LRESULT onCreate();
  void onDestroy() noexcept;
  LRESULT onKeyDown(WPARAM wParam, LPARAM lParam) noexcept;
  LRESULT onNcHitTest() noexcept;
  void onSize() noexcept;
  void onDropFiles(HDROP drop) noexcept;
  LRESULT onSysCommand(WPARAM wParam, LPARAM lParam) noexcept;
  LRESULT onQueryEndSession(WPARAM wParam, LPARAM lParam) noexcept;
  void onGetViewerHwnd() noexcept;
  LRESULT onActivate(WPARAM wParam, LPARAM lParam) noexcept;
  static BOOL CALLBACK findViewerChild(HWND child, LPARAM self) noexcept;

  // Docking, the tray and their timers come with their own work; until
  // then these hooks do nothing and the messages take the default handling.
  void onWindowPosChanged() noexcept {}
  void onTimer(UINT_PTR /*id*/) noexcept {}
  void onTrayNotify(WPARAM /*wParam*/, LPARAM /*lParam*/) noexcept {}
  void onTrayCommand(WORD /*command*/) noexcept {}
  void onRestoreFromTray() noexcept {}
  void onAppBarNotify(WPARAM /*wParam*/, LPARAM /*lParam*/) noexcept {}
  void onAppBarActivated() noexcept {}
  void startHoverTimer() noexcept {}
  void unregisterAppBar() noexcept {}

  // Where outside programs find the main window.
  void publishMainWindow() noexcept;
  void withdrawMainWindow() noexcept;

  HWND m_hWnd = nullptr;

  CFrameworkWindow* m_pOpener;
  HWND m_wndHost = nullptr;
  ComPtr<IWebBrowser2> m_spBrowser;
  ComPtr<ComObject<CFrameworkUIHandler>> m_spUIHandler;
  ComPtr<ComObject<CFrameworkShell>> m_spShell;
  ComPtr<ComObject<CFrameworkUISink>> m_pSink;
  HWND m_hViewerWnd = nullptr;
  ComPtr<IFrameworkController> m_spController;
  Bstr m_bstrQueryString;
  ComPtr<IHTMLWindow2> m_spHtmlWindow;
  Bstr m_bstrDropFilePath;
  RECT m_rcRestore = {};
  bool m_bAppBarRegistered = false;
  int m_dockEdge = 0;
  int m_minHeight = kMinHeight;
  int m_minWidth = kMinWidth;
  int m_windowType = 0;
  bool m_bAutoHide = false;
  bool m_bHidden = false;
  bool m_bInTray = false;
  std::unique_ptr<CSystemTray> m_pTray;
  UINT_PTR m_hideTimerId = 2;
  UINT_PTR m_showTimerId = 0;

  // Bookkeeping of the object's own lifetime.
  const bool m_bMainWindow;
  bool m_bCreated = false;                    // Create returned the window: it owns the object
  bool m_bDeleting = false;                   // the object is being deleted by its owner
  bool m_bWindowGone = false;                 // WM_NCDESTROY has been seen
  int m_nesting = 0;                          // messages being handled, nested
  CFrameworkWindow* m_pNextWindow = nullptr;  // live windows, for handOverOpened
};
