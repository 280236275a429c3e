#pragma once
// LaunchObserver.dll, a plug-in for the process tests: registered as a
// start-up plug-in of the host under test, it receives the controller
// through Framework as any plug-in does, connects a LaunchObserverSink to
// the controller's events and sets it as the onLaunchString script
// handler as well, and registers itself as the service "LaunchObserver" so
// that the controller keeps it. Detached, it disconnects both.
#include "ComPtr.h"
#include "FrameworkLib.h"
#include "InterfaceMap.h"
#include "UntypedDispatch.h"

#include <ocidl.h>

#include <span>

class LaunchObserver : public UntypedDispatch<IFrameworkPlugin> {
public:
  // {6F0E94B1-5C3A-4D2B-9F7E-2B8D1C4A7E35}
  static constexpr CLSID kClassId = {
      0x6f0e94b1, 0x5c3a, 0x4d2b, {0x9f, 0x7e, 0x2b, 0x8d, 0x1c, 0x4a, 0x7e, 0x35}};
  static constexpr wchar_t kClassIdText[] = L"{6F0E94B1-5C3A-4D2B-9F7E-2B8D1C4A7E35}";
  // The service name it registers itself under.
  static constexpr wchar_t kServiceName[] = L"LaunchObserver";

  LaunchObserver() = default;

  static std::span<const InterfaceEntry<LaunchObserver>> interfaceMap() noexcept;

  // IDispatch: the controller calls this plug-in early-bound only.
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) noexcept override {
    return E_NOTIMPL;
  }

  // IFrameworkPlugin
  STDMETHODIMP get_PluginName(BSTR* name) noexcept override;
  STDMETHODIMP get_PluginDesc(BSTR* desc) noexcept override;
  STDMETHODIMP get_PluginTarget(BSTR* target) noexcept override;
  STDMETHODIMP get_PluginBaseUrl(BSTR* url) noexcept override;
  STDMETHODIMP put_Framework(IFrameworkController* controller) noexcept override;
  STDMETHODIMP get_Framework(IFrameworkController** controller) noexcept override;

private:
  void attach(IFrameworkController* controller) noexcept;
  void detach() noexcept;

  ComPtr<IFrameworkController> m_controller;
  ComPtr<IConnectionPoint> m_point;
  DWORD m_cookie = 0;
};
