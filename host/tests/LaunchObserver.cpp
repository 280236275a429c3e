#include "LaunchObserver.h"

#include "Bstr.h"
#include "ComObject.h"
#include "LaunchObserverSink.h"
#include "Variant.h"

namespace {

HRESULT copyText(const wchar_t* text, BSTR* out) noexcept {
  if (!out) return E_POINTER;
  *out = ::SysAllocString(text);
  return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

std::span<const InterfaceEntry<LaunchObserver>> LaunchObserver::interfaceMap() noexcept {
  static constexpr InterfaceEntry<LaunchObserver> map[] = {
      interfaceEntry<LaunchObserver, IFrameworkPlugin>(IID_IFrameworkPlugin),
      interfaceEntry<LaunchObserver, IDispatch, IFrameworkPlugin>(IID_IDispatch),
  };
  return map;
}

STDMETHODIMP LaunchObserver::get_PluginName(BSTR* name) noexcept { return copyText(L"LaunchObserver,1.0", name); }

STDMETHODIMP LaunchObserver::get_PluginDesc(BSTR* desc) noexcept {
  return copyText(L"records the launch strings the host announces", desc);
}

STDMETHODIMP LaunchObserver::get_PluginTarget(BSTR* target) noexcept {
  return copyText(L"FrameworkController,1.0", target);
}

STDMETHODIMP LaunchObserver::get_PluginBaseUrl(BSTR* url) noexcept { return copyText(L"", url); }

STDMETHODIMP LaunchObserver::get_Framework(IFrameworkController** controller) noexcept {
  return m_controller.CopyTo(controller);
}

STDMETHODIMP LaunchObserver::put_Framework(IFrameworkController* controller) noexcept {
  detach();
  if (controller) attach(controller);
  return S_OK;
}

void LaunchObserver::attach(IFrameworkController* controller) noexcept {
  m_controller = controller;
  ComPtr<ComObject<LaunchObserverSink>> sink;
  if (FAILED(ComObject<LaunchObserverSink>::create(sink))) return;
  IDispatch* const dispatch = sink.get();

  ComPtr<IConnectionPointContainer> container;
  if (SUCCEEDED(controller->QueryInterface(IID_IConnectionPointContainer, container.putVoid())) &&
      SUCCEEDED(container->FindConnectionPoint(DIID__IFrameworkControllerEvents, m_point.put()))) {
    if (FAILED(m_point->Advise(dispatch, &m_cookie))) m_point.reset();
  }
  controller->put_onLaunchString(Variant(dispatch));
  // The controller keeps what it serves; a start-up plug-in is otherwise
  // let go as soon as it is attached.
  controller->AddService(Bstr(kServiceName).get(), Bstr(L"").get(), this);
}

void LaunchObserver::detach() noexcept {
  if (m_point) m_point->Unadvise(m_cookie);
  m_point.reset();
  m_cookie = 0;
  if (m_controller) m_controller->put_onLaunchString(Variant());
  m_controller.reset();
}
