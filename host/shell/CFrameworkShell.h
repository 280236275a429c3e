#pragma once
// The shell object of one CFrameworkWindow: the automation object that the
// window's pages receive as their external object, and through which they
// reach the controller and act on their window. Created by its window,
// never through a class object; apartment-threaded like the window.
#include "DispatchImpl.h"
#include "FrameworkLib.h"
#include "InterfaceMap.h"
#include "ObjectSafetyImpl.h"
#include "ScriptCallback.h"

#include <windows.h>

#include <span>

class CFrameworkWindow;

class CFrameworkShell : public DispatchImpl<IFrameworkShell, &IID_IFrameworkShell>,
                        public ObjectSafetyImpl {
public:
  CFrameworkShell() = default;
  ~CFrameworkShell() = default;
  CFrameworkShell(const CFrameworkShell&) = delete;
  CFrameworkShell& operator=(const CFrameworkShell&) = delete;

  static std::span<const InterfaceEntry<CFrameworkShell>> interfaceMap() noexcept;

  // The window this shell acts on. The window clears it when it goes away,
  // so a page that keeps the shell longer never reaches a destroyed window.
  void setWindow(CFrameworkWindow* window) noexcept { m_pWindow = window; }
  CFrameworkWindow* window() const noexcept { return m_pWindow; }

  // The page's handlers, called with the arguments the page expects. They
  // may be called from any thread with COM initialised: each call fetches
  // the handler from the global interface table, so it runs in the page's
  // apartment. Nothing happens when the page set no handler; what the
  // handler answers, error or not, is ignored.
  //
  // The session is ending, or the user chose the tray menu's exit.
  void fireOnExitNow() noexcept;
  // The window was docked to edge (0 none, 1 left, 2 right, 4 top,
  // 8 bottom), or slid out of view (hidden) or back in.
  void fireOnDockStateChange(unsigned int edge, bool hidden) noexcept;
  // A full-screen program opened while the window is docked.
  void fireOnFullScreenApp() noexcept;
  // The tray menu's configuration command.
  void fireOnOpenConfig() noexcept;
  // The tray menu's open command, or a double click on the tray icon.
  void fireOnRestoreFromSystemTray() noexcept;

  // IFrameworkShell. Once the window is gone the members act on nothing:
  // getters answer zero or empty, the rest do nothing. Members whose work
  // belongs to shapes, docking, the tray, launching and auto-run answer
  // E_NOTIMPL until that work arrives.
  STDMETHODIMP get_Controller(IFrameworkController** pController) noexcept override;
  STDMETHODIMP get_QueryString(BSTR* pQuery) noexcept override;
  STDMETHODIMP put_QueryString(BSTR newVal) noexcept override;
  STDMETHODIMP get_HtmlWindow(IDispatch** pWindow) noexcept override;
  STDMETHODIMP put_HtmlWindow(IDispatch* newVal) noexcept override;
  STDMETHODIMP WindowSystemCommand(int cmd) noexcept override;
  STDMETHODIMP SetWindowStyle(int style) noexcept override;
  STDMETHODIMP get_WindowType(short* pType) noexcept override;
  STDMETHODIMP put_WindowType(short newVal) noexcept override;
  STDMETHODIMP LoadBackground(int bkid) noexcept override;
  STDMETHODIMP GetShortcutDir(BSTR miRdexID, BSTR* pDir) noexcept override;
  STDMETHODIMP SetWindowSize(int width, int height) noexcept override;
  STDMETHODIMP get_WindowPosX(int* pX) noexcept override;
  STDMETHODIMP get_WindowPosY(int* pY) noexcept override;
  STDMETHODIMP MoveWindowTo(int left, int top) noexcept override;
  STDMETHODIMP get_WindowMovedProc(VARIANT* pHandler) noexcept override;
  STDMETHODIMP put_WindowMovedProc(VARIANT newVal) noexcept override;
  STDMETHODIMP UpdateWindowMovement(int deltaX, int deltaY) noexcept override;
  STDMETHODIMP MinimizeToSystemTray() noexcept override;
  STDMETHODIMP RestoreFromSystemTray() noexcept override;
  STDMETHODIMP SetMinimumWindowSize(int minimumWidth, int minimumHeight) noexcept override;
  STDMETHODIMP SetWindowAlwaysOnTop(VARIANT_BOOL alwaysOnTop) noexcept override;
  STDMETHODIMP get_dropFilePath(BSTR* pPath) noexcept override;
  STDMETHODIMP enableDropFile(VARIANT_BOOL enable) noexcept override;
  STDMETHODIMP launchApp(BSTR path, LONG* pHandle) noexcept override;
  STDMETHODIMP invokeShareWebBrowser(BSTR url, LONG* pHandle) noexcept override;
  STDMETHODIMP invokeShareWhiteboard(LONG* pHandle) noexcept override;
  STDMETHODIMP bringWindowToTop(LONG handle) noexcept override;
  STDMETHODIMP setWindowVisible(VARIANT_BOOL visible) noexcept override;
  STDMETHODIMP GetWindowHandle(LONG* pHandle) noexcept override;
  STDMETHODIMP SetWindowTranslucent(VARIANT_BOOL translucent) noexcept override;
  STDMETHODIMP SetWindowShadow(int bkid) noexcept override;
  STDMETHODIMP ShowStatusInSystemTray(int status) noexcept override;
  STDMETHODIMP GetWindowAppBarSide(unsigned int* pSide) noexcept override;
  STDMETHODIMP SetAppBarAutoHide(VARIANT_BOOL autoHide) noexcept override;
  STDMETHODIMP get_OnDockStateChange(VARIANT* pHandler) noexcept override;
  STDMETHODIMP put_OnDockStateChange(VARIANT newVal) noexcept override;
  STDMETHODIMP DetectShowAppBar() noexcept override;
  STDMETHODIMP get_OnFullScreenApp(VARIANT* pHandler) noexcept override;
  STDMETHODIMP put_OnFullScreenApp(VARIANT newVal) noexcept override;
  STDMETHODIMP DoShowAppBar() noexcept override;
  STDMETHODIMP EnableInput(VARIANT_BOOL enable) noexcept override;
  STDMETHODIMP SetTrayIconTooltip(BSTR tooltip) noexcept override;
  STDMETHODIMP SetAutoRun(VARIANT_BOOL enable) noexcept override;
  STDMETHODIMP get_onExitNow(VARIANT* pHandler) noexcept override;
  STDMETHODIMP put_onExitNow(VARIANT newVal) noexcept override;
  STDMETHODIMP GetAutoRun(VARIANT_BOOL* pEnabled) noexcept override;
  STDMETHODIMP ShowIconInSystemTray() noexcept override;
  STDMETHODIMP get_onOpenConfig(VARIANT* pHandler) noexcept override;
  STDMETHODIMP put_onOpenConfig(VARIANT newVal) noexcept override;
  STDMETHODIMP get_onRestoreMirdexFromSystemTray(VARIANT* pHandler) noexcept override;
  STDMETHODIMP put_onRestoreMirdexFromSystemTray(VARIANT newVal) noexcept override;
  STDMETHODIMP get_IsWindowInSystemTray(VARIANT_BOOL* pInTray) noexcept override;
  STDMETHODIMP LaunchProgram(BSTR path, BSTR args, BSTR verb, LONG hide) noexcept override;

private:
  // The window's handle while the window lives; null once it is gone (or
  // before it was created).
  HWND liveWindow() const noexcept;
  // Starts a move or size of the window by the mouse, as if the user had
  // pressed the button on the given area of its frame.
  void dragByFrame(HWND window, WPARAM area, bool withoutSystemMenu) noexcept;
  // Shows the window normally and brings it in front of the others.
  static void bringToFront(HWND window) noexcept;
  // Sets the window's position or size, logging a failure of the system.
  static void placeWindow(HWND window, HWND after, int x, int y, int width, int height,
                          UINT flags, const char* method) noexcept;
  // Sets or clears style bits (GWL_STYLE or GWL_EXSTYLE) without making
  // the system recalculate the frame.
  static void changeStyle(HWND window, int which, LONG_PTR remove, LONG_PTR add) noexcept;
  static void fire(const ScriptCallback& callback, std::span<const VARIANT> args) noexcept;

  short m_windowType = 0;
  CFrameworkWindow* m_pWindow = nullptr;
  ScriptCallback m_windowMovedProc;
  ScriptCallback m_onDockStateChange;
  ScriptCallback m_onFullScreenApp;
  ScriptCallback m_onExitNow;
  ScriptCallback m_onOpenConfig;
  ScriptCallback m_onRestoreFromSystemTray;
};
