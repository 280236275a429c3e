#include "TestPluginClass.h"

#include "ComObject.h"
#include "TestPluginFactory.h"

#include <utility>

TestPluginClass::TestPluginClass(const CLSID& clsid, std::wstring pluginName)
    : m_clsid(clsid), m_kind(std::make_shared<TestPlugin::Kind>()) {
  m_kind->name = std::move(pluginName);
  ComPtr<ComObject<TestPluginFactory>> factory;
  m_registration = ComObject<TestPluginFactory>::create(factory, m_kind);
  if (FAILED(m_registration)) return;
  m_registration = ::CoRegisterClassObject(clsid, static_cast<IClassFactory*>(factory.get()),
                                           CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &m_cookie);
}

TestPluginClass::~TestPluginClass() {
  if (SUCCEEDED(m_registration)) ::CoRevokeClassObject(m_cookie);
}

std::wstring TestPluginClass::clsidText() const {
  wchar_t text[40] = {};
  ::StringFromGUID2(m_clsid, text, 40);
  return text;
}
