#pragma once
// A plug-in for the controller's tests: answers IFrameworkPlugin, keeps
// the controller it is given like a real service does, records every
// Framework put and runs the hooks of its kind on attach and detach.
#include "ComPtr.h"
#include "DispatchImpl.h"
#include "FrameworkLib.h"
#include "InterfaceMap.h"

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

class TestPlugin : public DispatchImpl<IFrameworkPlugin, &IID_IFrameworkPlugin> {
public:
  // What the instances of one test class share.
  struct Kind {
    std::wstring name;                       // PluginName; PluginDesc is "<name> desc"
    HRESULT failNextCreation = S_OK;         // the class object's next CreateInstance fails so
    HRESULT detachResult = S_OK;             // the result of a put of null
    // Run after a controller was stored, and before a put of null lets it go.
    std::function<void(TestPlugin& self, IFrameworkController* framework)> onAttach;
    std::function<void(TestPlugin& self, IFrameworkController* framework)> onDetach;
    int created = 0;                         // instances made so far
    int live = 0;                            // instances alive now
  };

  explicit TestPlugin(std::shared_ptr<Kind> kind);
  ~TestPlugin();
  TestPlugin(const TestPlugin&) = delete;
  TestPlugin& operator=(const TestPlugin&) = delete;

  static std::span<const InterfaceEntry<TestPlugin>> interfaceMap() noexcept;

  // A new instance of kind (not through COM's class lookup).
  static HRESULT create(const std::shared_ptr<Kind>& kind, ComPtr<IFrameworkPlugin>& out) noexcept;
  // The test plug-in behind an interface pointer of this apartment (every
  // plug-in in these tests is one); null for null.
  static TestPlugin* of(IFrameworkPlugin* plugin) noexcept;

  STDMETHODIMP get_PluginName(BSTR* pName) noexcept override;
  STDMETHODIMP get_PluginDesc(BSTR* pDesc) noexcept override;
  STDMETHODIMP get_PluginTarget(BSTR* pTarget) noexcept override;
  STDMETHODIMP get_PluginBaseUrl(BSTR* pUrl) noexcept override;
  STDMETHODIMP put_Framework(IFrameworkController* newVal) noexcept override;
  STDMETHODIMP get_Framework(IFrameworkController** pVal) noexcept override;

  const std::wstring& name() const noexcept { return m_kind->name; }
  // Every put of Framework so far: true for a controller, false for null.
  const std::vector<bool>& puts() const noexcept { return m_puts; }
  IFrameworkController* framework() const noexcept { return m_framework.get(); }
  IFrameworkPlugin* self() noexcept { return this; }

private:
  std::shared_ptr<Kind> m_kind;
  ComPtr<IFrameworkController> m_framework;
  std::vector<bool> m_puts;
};
