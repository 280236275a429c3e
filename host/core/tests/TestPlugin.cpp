#include "TestPlugin.h"

#include "ComObject.h"

#include <new>
#include <utility>

TestPlugin::TestPlugin(std::shared_ptr<Kind> kind) : m_kind(std::move(kind)) {
  ++m_kind->created;
  ++m_kind->live;
}

TestPlugin::~TestPlugin() { --m_kind->live; }

std::span<const InterfaceEntry<TestPlugin>> TestPlugin::interfaceMap() noexcept {
  static constexpr InterfaceEntry<TestPlugin> map[] = {
      interfaceEntry<TestPlugin, IFrameworkPlugin>(IID_IFrameworkPlugin),
      interfaceEntry<TestPlugin, IDispatch, IFrameworkPlugin>(IID_IDispatch),
  };
  return map;
}

HRESULT TestPlugin::create(const std::shared_ptr<Kind>& kind, ComPtr<IFrameworkPlugin>& out) noexcept {
  out.reset();
  try {
    ComPtr<ComObject<TestPlugin>> plugin;
    const HRESULT hr = ComObject<TestPlugin>::create(plugin, kind);
    if (FAILED(hr)) return hr;
    out = plugin.get();
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

TestPlugin* TestPlugin::of(IFrameworkPlugin* plugin) noexcept {
  return plugin ? static_cast<TestPlugin*>(plugin) : nullptr;
}

STDMETHODIMP TestPlugin::get_PluginName(BSTR* pName) noexcept {
  if (!pName) return E_POINTER;
  *pName = ::SysAllocString(m_kind->name.c_str());
  return S_OK;
}

STDMETHODIMP TestPlugin::get_PluginDesc(BSTR* pDesc) noexcept {
  if (!pDesc) return E_POINTER;
  *pDesc = ::SysAllocString((m_kind->name + L" desc").c_str());
  return S_OK;
}

STDMETHODIMP TestPlugin::get_PluginTarget(BSTR* pTarget) noexcept {
  if (!pTarget) return E_POINTER;
  *pTarget = ::SysAllocString(L"FrameworkController,1.0");
  return S_OK;
}

STDMETHODIMP TestPlugin::get_PluginBaseUrl(BSTR* pUrl) noexcept {
  if (!pUrl) return E_POINTER;
  *pUrl = nullptr;
  return S_OK;
}

STDMETHODIMP TestPlugin::put_Framework(IFrameworkController* newVal) noexcept {
  m_puts.push_back(newVal != nullptr);
  if (newVal) {
    m_framework = newVal;
    if (m_kind->onAttach) m_kind->onAttach(*this, newVal);
    return S_OK;
  }
  if (m_kind->onDetach) m_kind->onDetach(*this, m_framework.get());
  m_framework.reset();
  return m_kind->detachResult;
}

STDMETHODIMP TestPlugin::get_Framework(IFrameworkController** pVal) noexcept {
  return m_framework.CopyTo(pVal);
}
