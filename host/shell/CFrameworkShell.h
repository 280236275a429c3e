#pragma once
// The shell object of one CFrameworkWindow: the automation object that the
// window's pages receive as their external object, and through which they
// reach the controller and act on their window. Created by its window,
// never through a class object; apartment-threaded like the window.
#include "DispatchImpl.h"
#include "FrameworkLib.h"
#include "InterfaceMap.h"
#include "ObjectSafetyImpl.h"

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

  // Tells the page that the session is ending (the page's onExitNow
  // handler). The handler slots arrive with the shell's members; until
  // then there is no handler to call.
  void fireOnExitNow() noexcept;

  // IFrameworkShell: the members are added by the window-operation work
  // that follows; until then each answers E_NOTIMPL.
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
  CFrameworkWindow* m_pWindow = nullptr;
};
