#pragma once
// The class object of one test plug-in class: makes instances of its kind,
// or fails once when the kind asks for it.
#include "TestPlugin.h"

#include <unknwn.h>

#include <memory>
#include <span>

class TestPluginFactory : public IClassFactory {
public:
  // Held by COM while registered; it must not keep the module busy.
  static constexpr bool locksModule = false;

  explicit TestPluginFactory(std::shared_ptr<TestPlugin::Kind> kind) noexcept;
  TestPluginFactory(const TestPluginFactory&) = delete;
  TestPluginFactory& operator=(const TestPluginFactory&) = delete;

  static std::span<const InterfaceEntry<TestPluginFactory>> interfaceMap() noexcept;

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) noexcept override;
  STDMETHODIMP LockServer(BOOL lock) noexcept override;

private:
  std::shared_ptr<TestPlugin::Kind> m_kind;
};
