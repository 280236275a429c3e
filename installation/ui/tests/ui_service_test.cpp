// MirdexUI.dll loaded the ways the host and the installer use it.
#include "CUiService.h"

#include "CreatedKeys.h"

#include "Bstr.h"
#include "ComApartment.h"
#include "ComPtr.h"
#include "DispatchCall.h"
#include "UniqueHandle.h"
#include "Variant.h"

#include <olectl.h>

#include <gtest/gtest.h>

#include <iterator>
#include <optional>
#include <string>
#include <string_view>

namespace {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using NoArgumentFn = HRESULT(STDAPICALLTYPE*)();

constexpr wchar_t kServicesKey[] = L"SOFTWARE\\Mirdex\\Services";

std::wstring dllPath() {
  wchar_t path[MAX_PATH * 2] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
  std::wstring dll(path, length);
  return dll.substr(0, dll.find_last_of(L'\\') + 1) + L"MirdexUI.dll";
}

template <typename Fn>
Fn entry(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

std::optional<std::wstring> readText(HKEY root, const std::wstring& path, const wchar_t* name) {
  wchar_t buffer[1024] = {};
  DWORD bytes = sizeof(buffer);
  if (::RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &bytes) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(buffer);
}

bool keyExists(HKEY root, const std::wstring& path) {
  RegKey key;
  return ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

class UiServiceTest : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(m_com.ok());
    m_library.reset(::LoadLibraryW(m_path.c_str()));
    ASSERT_TRUE(m_library) << "cannot load " << Bstr(m_path).toUtf8();
  }

  ComPtr<IFrameworkPlugin> create() {
    auto getClassObject = entry<GetClassObjectFn>(m_library.get(), "DllGetClassObject");
    EXPECT_NE(getClassObject, nullptr);
    ComPtr<IClassFactory> factory;
    ComPtr<IFrameworkPlugin> plugin;
    if (!getClassObject) return plugin;
    EXPECT_EQ(getClassObject(CUiService::kClassId, IID_IClassFactory, factory.putVoid()), S_OK);
    if (factory) {
      EXPECT_EQ(factory->CreateInstance(nullptr, IID_IFrameworkPlugin, plugin.putVoid()), S_OK);
    }
    return plugin;
  }

  ComApartment m_com;
  const std::wstring m_path = dllPath();
  LoadedLibrary m_library;
};

TEST_F(UiServiceTest, ClassObjectMakesThePluginAndKeepsTheDllWhileUsed) {
  auto canUnloadNow = entry<NoArgumentFn>(m_library.get(), "DllCanUnloadNow");
  auto getClassObject = entry<GetClassObjectFn>(m_library.get(), "DllGetClassObject");
  ASSERT_NE(canUnloadNow, nullptr);
  ASSERT_NE(getClassObject, nullptr);
  EXPECT_EQ(canUnloadNow(), S_OK);

  ComPtr<IClassFactory> unknown;
  EXPECT_EQ(getClassObject(IID_IFrameworkPlugin, IID_IClassFactory, unknown.putVoid()),
            CLASS_E_CLASSNOTAVAILABLE);

  ComPtr<IFrameworkPlugin> plugin = create();
  ASSERT_NE(plugin, nullptr);
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  Bstr text;
  ASSERT_EQ(plugin->get_PluginName(text.put()), S_OK);
  EXPECT_EQ(text, L"UI,1.0");
  ASSERT_EQ(plugin->get_PluginTarget(text.put()), S_OK);
  EXPECT_EQ(text, L"FrameworkController,1.0");
  ComPtr<IFrameworkController> framework;
  ASSERT_EQ(plugin->get_Framework(framework.put()), S_OK);
  EXPECT_EQ(framework, nullptr);
  plugin.reset();
  EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(UiServiceTest, BaseUrlIsTheDllsOwnPagesWithTheRootPage) {
  ComPtr<IFrameworkPlugin> plugin = create();
  ASSERT_NE(plugin, nullptr);
  Bstr url;
  ASSERT_EQ(plugin->get_PluginBaseUrl(url.put()), S_OK);
  constexpr std::wstring_view kScheme = L"res://", kFolder = L"/_HTML_/";
  ASSERT_TRUE(url.view().starts_with(kScheme));
  ASSERT_TRUE(url.view().ends_with(kFolder));
  const std::wstring module(
      url.view().substr(kScheme.size(), url.length() - kScheme.size() - kFolder.size()));
  EXPECT_EQ(::CompareStringOrdinal(module.c_str(), -1, m_path.c_str(), -1, TRUE), CSTR_EQUAL);

  // The host asks for "root.html" beneath the base URL; resource names do
  // not depend on case.
  LoadedLibrary pages(::LoadLibraryExW(module.c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  ASSERT_TRUE(pages);
  EXPECT_NE(::FindResourceW(pages.get(), L"ROOT.HTML", L"_HTML_"), nullptr);
  HRSRC resource = ::FindResourceW(pages.get(), L"root.html", L"_HTML_");
  ASSERT_NE(resource, nullptr);
  HGLOBAL loaded = ::LoadResource(pages.get(), resource);
  ASSERT_NE(loaded, nullptr);
  const std::string_view page(static_cast<const char*>(::LockResource(loaded)),
                              ::SizeofResource(pages.get(), resource));
  // Well-formed UTF-8 that talks to the shell and the controller.
  EXPECT_NE(::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, page.data(),
                                  static_cast<int>(page.size()), nullptr, 0),
            0);
  EXPECT_TRUE(page.starts_with("<!DOCTYPE html>"));
  EXPECT_NE(page.find("<meta charset=\"utf-8\">"), std::string_view::npos);
  EXPECT_NE(page.find("window.external.Controller"), std::string_view::npos);
  EXPECT_NE(page.find("</html>"), std::string_view::npos);
}

// Pages reach the plug-in late-bound: the DLL answers from its own copy of
// the type library.
TEST_F(UiServiceTest, DispatchWorksFromTheDllsTypeLibrary) {
  ComPtr<IFrameworkPlugin> plugin = create();
  ASSERT_NE(plugin, nullptr);
  Variant name;
  ASSERT_EQ(DispatchCall::invokeByName(plugin.get(), L"PluginName", DISPATCH_PROPERTYGET, {},
                                       name.put()),
            S_OK);
  ASSERT_EQ(name.type(), VT_BSTR);
  EXPECT_STREQ(V_BSTR(&name), L"UI,1.0");
  ComPtr<IObjectSafety> safety;
  ASSERT_EQ(plugin.As(IID_IObjectSafety, safety), S_OK);
  DWORD supported = 0, enabled = 0;
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IFrameworkPlugin, &supported, &enabled), S_OK);
}

// Wine lets the test write the machine's hive: the entries are those a real
// installation gets. Whatever "UI" entry and keys the prefix had are put
// back.
TEST_F(UiServiceTest, RegistrationWritesAndRemovesItsEntriesOnly) {
  auto registerServer = entry<NoArgumentFn>(m_library.get(), "DllRegisterServer");
  auto unregisterServer = entry<NoArgumentFn>(m_library.get(), "DllUnregisterServer");
  ASSERT_NE(registerServer, nullptr);
  ASSERT_NE(unregisterServer, nullptr);
  CreatedKeys servicesKeys(HKEY_LOCAL_MACHINE, kServicesKey);
  const std::optional<std::wstring> previous = readText(HKEY_LOCAL_MACHINE, kServicesKey, L"UI");
  const std::wstring sibling = L"SvcTestSibling" + std::to_wstring(::GetCurrentProcessId());
  const std::wstring classKey = std::wstring(L"CLSID\\") + CUiService::kClassIdText;
  ASSERT_EQ(::RegSetKeyValueW(HKEY_LOCAL_MACHINE, kServicesKey, sibling.c_str(), REG_SZ, L"x",
                              2 * sizeof(wchar_t)),
            ERROR_SUCCESS);

  ASSERT_EQ(registerServer(), S_OK);
  const std::optional<std::wstring> server =
      readText(HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32", L"");
  ASSERT_TRUE(server.has_value());
  EXPECT_EQ(::CompareStringOrdinal(server->c_str(), -1, m_path.c_str(), -1, TRUE), CSTR_EQUAL);
  EXPECT_EQ(readText(HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32", L"ThreadingModel"),
            std::optional<std::wstring>(L"Apartment"));
  EXPECT_EQ(readText(HKEY_LOCAL_MACHINE, kServicesKey, L"UI"),
            std::optional<std::wstring>(std::wstring(L"CLSID:") + CUiService::kClassIdText));

  // COM finds the class the way the host's LoadService creates it.
  {
    ComPtr<IFrameworkPlugin> plugin;
    ASSERT_EQ(::CoCreateInstance(CUiService::kClassId, nullptr, CLSCTX_ALL, IID_IFrameworkPlugin,
                                 plugin.putVoid()),
              S_OK);
    Bstr name;
    ASSERT_EQ(plugin->get_PluginName(name.put()), S_OK);
    EXPECT_EQ(name, L"UI,1.0");
  }

  ASSERT_EQ(unregisterServer(), S_OK);
  EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, classKey));
  EXPECT_FALSE(readText(HKEY_LOCAL_MACHINE, kServicesKey, L"UI").has_value());
  EXPECT_EQ(readText(HKEY_LOCAL_MACHINE, kServicesKey, sibling.c_str()),
            std::optional<std::wstring>(L"x"));
  // Unregistering what is gone already is no failure.
  EXPECT_EQ(unregisterServer(), S_OK);

  ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kServicesKey, sibling.c_str());
  if (previous) {
    ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, kServicesKey, L"UI", REG_SZ, previous->c_str(),
                      static_cast<DWORD>((previous->size() + 1) * sizeof(wchar_t)));
  }
}

}  // namespace
