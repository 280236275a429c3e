#pragma once
// A stand-in for the framework controller, for tests of what services do
// with the controller they are given: it answers nothing, and counts the
// instances alive so a test can see when the last reference went.
#include "DispatchImpl.h"
#include "FrameworkLib.h"
#include "InterfaceMap.h"

#include <span>

class FakeController : public DispatchImpl<IFrameworkController, &IID_IFrameworkController> {
public:
  FakeController() noexcept;
  ~FakeController();

  static std::span<const InterfaceEntry<FakeController>> interfaceMap() noexcept;
  static LONG liveCount() noexcept;

  STDMETHODIMP get_Name(BSTR* name) noexcept override;
  STDMETHODIMP get_Desc(BSTR* desc) noexcept override;
  STDMETHODIMP get_Locale(BSTR* locale) noexcept override;
  STDMETHODIMP put_Locale(BSTR locale) noexcept override;
  STDMETHODIMP get_BaseUrl(BSTR* url) noexcept override;
  STDMETHODIMP get_ProductVersion(BSTR* version) noexcept override;
  STDMETHODIMP GetProperty(BSTR key, VARIANT* value) noexcept override;
  STDMETHODIMP SetProperty(BSTR key, VARIANT value) noexcept override;
  STDMETHODIMP LoadService(BSTR name, IFrameworkPlugin** service) noexcept override;
  STDMETHODIMP AddService(BSTR name, BSTR value, IFrameworkPlugin* instance) noexcept override;
  STDMETHODIMP RemoveService(BSTR name, BSTR value, IFrameworkPlugin* instance) noexcept override;
  STDMETHODIMP get_MainWindow(IDispatch** window) noexcept override;
  STDMETHODIMP OpenWindow(BSTR name, BSTR url, LONG width, LONG height) noexcept override;
  STDMETHODIMP get_onLaunchString(VARIANT* handler) noexcept override;
  STDMETHODIMP put_onLaunchString(VARIANT handler) noexcept override;
  STDMETHODIMP GetLaunchString(VARIANT_BOOL keep, IStringObjectMap** params) noexcept override;
  STDMETHODIMP SetLaunchString(BSTR url) noexcept override;
  STDMETHODIMP Restart() noexcept override;
  STDMETHODIMP get_onExternalAccess(VARIANT* handler) noexcept override;
  STDMETHODIMP put_onExternalAccess(VARIANT handler) noexcept override;
  STDMETHODIMP SetExternalAccess(BSTR path, LONG cid, VARIANT_BOOL grant) noexcept override;
  STDMETHODIMP GetExternalAccess() noexcept override;
  STDMETHODIMP ChangeMainWindow(BSTR op, VARIANT p1, VARIANT p2) noexcept override;
  STDMETHODIMP get_onChangeMainWindow(VARIANT* handler) noexcept override;
  STDMETHODIMP put_onChangeMainWindow(VARIANT handler) noexcept override;
  STDMETHODIMP Encode(BSTR purpose, BSTR source, BSTR* code) noexcept override;
  STDMETHODIMP Decode(BSTR purpose, BSTR source, BSTR* text) noexcept override;
};
