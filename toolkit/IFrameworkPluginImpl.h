#pragma once
// The implementation base of every service and plug-in: IFrameworkPlugin
// (and the dual interface derived from it) answered through the module's
// embedded type library, with the attached controller and the guard that
// lets a detach wait until no guarded call is in progress.
//
//   class CMyService : public IFrameworkPluginImpl<IMyService, &IID_IMyService> { ... };
//
// The derived class answers PluginName and PluginDesc; PluginTarget and
// PluginBaseUrl have defaults it may override. A call that must not overlap
// the detachment runs between enter() and leave() (see BusyGuard); the
// default onDetach waits for the last of them to leave.
#include "Bstr.h"
#include "ComModule.h"
#include "ComPtr.h"
#include "CriticalSection.h"
#include "DispatchImpl.h"
#include "FrameworkLib.h"
#include "UniqueHandle.h"

#include <new>
#include <string>
#include <string_view>

template <typename Interface, const IID* Iid, UINT LibraryIndex = 1>
class IFrameworkPluginImpl : public DispatchImpl<Interface, Iid, LibraryIndex> {
public:
  // IFrameworkPlugin
  STDMETHODIMP get_PluginTarget(BSTR* target) noexcept override {
    return copyText(L"FrameworkController,1.0", target);
  }

  STDMETHODIMP get_PluginBaseUrl(BSTR* url) noexcept override {
    if (!url) return E_POINTER;
    *url = nullptr;
    try {
      return copyText(pluginBaseUrl(), url);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

  STDMETHODIMP put_Framework(IFrameworkController* controller) noexcept override {
    if (controller == m_framework.get()) return S_OK;
    HRESULT hr = S_OK;
    // Detaching: whatever guarded call is still running finishes with the
    // controller it started with.
    if (!controller) hr = onDetach();
    m_framework = controller;
    if (controller) hr = onAttach();
    return hr;
  }

  STDMETHODIMP get_Framework(IFrameworkController** controller) noexcept override {
    return m_framework.CopyTo(controller);
  }

  // Called after a new controller is stored; its result is the put's.
  virtual HRESULT onAttach() { return S_OK; }
  // Called before the held controller is let go; its result is the put's.
  virtual HRESULT onDetach() {
    waitIdle(INFINITE);
    return S_OK;
  }

  // The guard, callable from any thread. The count and the idle event
  // change together, so the event is never seen signalled while a guarded
  // call is in progress.
  virtual void enter() noexcept {
    CriticalSectionLock lock(m_busyLock);
    if (m_busy++ == 0) ::ResetEvent(m_idle.get());
  }
  virtual void leave() noexcept {
    CriticalSectionLock lock(m_busyLock);
    if (--m_busy == 0) ::SetEvent(m_idle.get());
  }
  // True when no guarded call is in progress within timeout milliseconds.
  virtual bool waitIdle(DWORD timeout) noexcept {
    return ::WaitForSingleObject(m_idle.get(), timeout) == WAIT_OBJECT_0;
  }

  // enter() for the life of the object.
  class BusyGuard {
  public:
    explicit BusyGuard(IFrameworkPluginImpl& plugin) noexcept : m_plugin(plugin) {
      m_plugin.enter();
    }
    ~BusyGuard() { m_plugin.leave(); }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

  private:
    IFrameworkPluginImpl& m_plugin;
  };

  // "res://" + the full path of the module (program or DLL) that contains
  // this code + "/_HTML_/": where the module's own pages of resource type
  // _HTML_ are found. "res://_HTML_/" when the path cannot be read. Raises
  // std::bad_alloc.
  static std::wstring pluginBaseUrl() {
    const std::wstring path = ComModule::modulePath();
    std::wstring url = L"res://";
    if (!path.empty()) {
      url += path;
      url += L'/';
    }
    url += L"_HTML_/";
    return url;
  }

  // A fresh copy of text for a string out-parameter: E_POINTER for a null
  // out, E_OUTOFMEMORY when the copy fails.
  static HRESULT copyText(std::wstring_view text, BSTR* out) noexcept {
    if (!out) return E_POINTER;
    *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
  }

protected:
  IFrameworkPluginImpl() noexcept : m_idle(::CreateEventW(nullptr, TRUE, TRUE, nullptr)) {}
  ~IFrameworkPluginImpl() = default;
  IFrameworkPluginImpl(const IFrameworkPluginImpl&) = delete;
  IFrameworkPluginImpl& operator=(const IFrameworkPluginImpl&) = delete;

  // The attached controller (null when none), for the derived class's use.
  const ComPtr<IFrameworkController>& framework() const noexcept { return m_framework; }

private:
  ComPtr<IFrameworkController> m_framework;
  CriticalSection m_busyLock;
  LONG m_busy = 0;
  KernelHandle m_idle;
};
