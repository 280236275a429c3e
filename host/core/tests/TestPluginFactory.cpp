#include "TestPluginFactory.h"

#include <utility>

TestPluginFactory::TestPluginFactory(std::shared_ptr<TestPlugin::Kind> kind) noexcept
    : m_kind(std::move(kind)) {}

std::span<const InterfaceEntry<TestPluginFactory>> TestPluginFactory::interfaceMap() noexcept {
  static constexpr InterfaceEntry<TestPluginFactory> map[] = {
      interfaceEntry<TestPluginFactory, IClassFactory>(IID_IClassFactory),
  };
  return map;
}

STDMETHODIMP TestPluginFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  if (const HRESULT failure = std::exchange(m_kind->failNextCreation, S_OK); FAILED(failure)) {
    return failure;
  }
  ComPtr<IFrameworkPlugin> plugin;
  const HRESULT hr = TestPlugin::create(m_kind, plugin);
  if (FAILED(hr)) return hr;
  return plugin->QueryInterface(iid, out);
}

STDMETHODIMP TestPluginFactory::LockServer(BOOL) noexcept { return S_OK; }
