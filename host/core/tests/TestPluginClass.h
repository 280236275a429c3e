#pragma once
// A test plug-in class made known to COM in this process (a class object
// registered for multiple use) for the life of the object, so that the
// controller's CoCreateInstance finds it like an installed service.
#include "TestPlugin.h"

#include <objbase.h>

#include <memory>
#include <string>

class TestPluginClass {
public:
  // Registers the class clsid whose instances are called pluginName.
  TestPluginClass(const CLSID& clsid, std::wstring pluginName);
  ~TestPluginClass();
  TestPluginClass(const TestPluginClass&) = delete;
  TestPluginClass& operator=(const TestPluginClass&) = delete;

  // The result of the registration with COM.
  HRESULT registration() const noexcept { return m_registration; }
  const CLSID& clsid() const noexcept { return m_clsid; }
  TestPlugin::Kind& kind() noexcept { return *m_kind; }
  const std::shared_ptr<TestPlugin::Kind>& sharedKind() const noexcept { return m_kind; }

  // "{...}" and the service entry "CLSID:{...}" of the class.
  std::wstring clsidText() const;
  std::wstring entry() const { return L"CLSID:" + clsidText(); }

private:
  CLSID m_clsid;
  std::shared_ptr<TestPlugin::Kind> m_kind;
  DWORD m_cookie = 0;
  HRESULT m_registration = E_FAIL;
};
