#include "CFrameworkShell.h"

std::span<const InterfaceEntry<CFrameworkShell>> CFrameworkShell::interfaceMap() noexcept {
  static constexpr InterfaceEntry<CFrameworkShell> map[] = {
      interfaceEntry<CFrameworkShell, IFrameworkShell>(IID_IFrameworkShell),
      interfaceEntry<CFrameworkShell, IDispatch, IFrameworkShell>(IID_IDispatch),
      interfaceEntry<CFrameworkShell, IObjectSafety>(IID_IObjectSafety),
  };
  return map;
}

void CFrameworkShell::fireOnExitNow() noexcept {}

STDMETHODIMP CFrameworkShell::get_Controller(IFrameworkController**) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::get_QueryString(BSTR*) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::put_QueryString(BSTR) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::get_HtmlWindow(IDispatch**) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::put_HtmlWindow(IDispatch*) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::WindowSystemCommand(int) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::SetWindowStyle(int) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::get_WindowType(short*) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::put_WindowType(short) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::LoadBackground(int) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::GetShortcutDir(BSTR, BSTR*) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::SetWindowSize(int, int) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::get_WindowPosX(int*) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::get_WindowPosY(int*) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::MoveWindowTo(int, int) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::get_WindowMovedProc(VARIANT*) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::put_WindowMovedProc(VARIANT) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::UpdateWindowMovement(int, int) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::MinimizeToSystemTray() noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::RestoreFromSystemTray() noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::SetMinimumWindowSize(int, int) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::SetWindowAlwaysOnTop(VARIANT_BOOL) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::get_dropFilePath(BSTR*) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::enableDropFile(VARIANT_BOOL) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::launchApp(BSTR, LONG*) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::invokeShareWebBrowser(BSTR, LONG*) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::invokeShareWhiteboard(LONG*) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::bringWindowToTop(LONG) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::setWindowVisible(VARIANT_BOOL) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::GetWindowHandle(LONG*) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::SetWindowTranslucent(VARIANT_BOOL) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::SetWindowShadow(int) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::ShowStatusInSystemTray(int) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::GetWindowAppBarSide(unsigned int*) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::SetAppBarAutoHide(VARIANT_BOOL) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::get_OnDockStateChange(VARIANT*) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::put_OnDockStateChange(VARIANT) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::DetectShowAppBar() noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::get_OnFullScreenApp(VARIANT*) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::put_OnFullScreenApp(VARIANT) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::DoShowAppBar() noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::EnableInput(VARIANT_BOOL) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::SetTrayIconTooltip(BSTR) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::SetAutoRun(VARIANT_BOOL) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::get_onExitNow(VARIANT*) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::put_onExitNow(VARIANT) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::GetAutoRun(VARIANT_BOOL*) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::ShowIconInSystemTray() noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::get_onOpenConfig(VARIANT*) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::put_onOpenConfig(VARIANT) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::get_onRestoreMirdexFromSystemTray(VARIANT*) noexcept {
  return E_NOTIMPL;
}
STDMETHODIMP CFrameworkShell::put_onRestoreMirdexFromSystemTray(VARIANT) noexcept {
  return E_NOTIMPL;
}
STDMETHODIMP CFrameworkShell::get_IsWindowInSystemTray(VARIANT_BOOL*) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkShell::LaunchProgram(BSTR, BSTR, BSTR, LONG) noexcept { return E_NOTIMPL; }
