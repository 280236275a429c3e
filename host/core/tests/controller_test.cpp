// The controller's service table: records and their order, the registry
// scan at machine and user level, lookups, aliases, start-ups, run-time
// registration and shut-down, observed through the real registry, real COM
// creation of test plug-in classes and the controller's log lines.
#include "CFrameworkController.h"
#include "ClassObjectRegistration.h"
#include "CollectionClasses.h"
#include "ComApartment.h"
#include "ComModule.h"
#include "DispatchCall.h"
#include "EnvironmentOverride.h"
#include "FrameworkTypeLibrary.h"
#include "InternalCleanup.h"
#include "LogCapture.h"
#include "Logger.h"
#include "PluginInfo.h"
#include "SavedRegistryKey.h"
#include "ServiceEntry.h"
#include "StatusText.h"
#include "TestPlugin.h"
#include "TestPluginClass.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

// {A1DC6FFA-E8C6-4D8B-9A97-BCEB848C8894}
constexpr CLSID kClassA = {0xa1dc6ffa, 0xe8c6, 0x4d8b, {0x9a, 0x97, 0xbc, 0xeb, 0x84, 0x8c, 0x88, 0x94}};
// {68E17DDA-27D6-4B11-891B-1627504E942F}
constexpr CLSID kClassB = {0x68e17dda, 0x27d6, 0x4b11, {0x89, 0x1b, 0x16, 0x27, 0x50, 0x4e, 0x94, 0x2f}};
// {19AD7663-074F-4CEA-B6F8-D4024D582013}
constexpr CLSID kClassC = {0x19ad7663, 0x074f, 0x4cea, {0xb6, 0xf8, 0xd4, 0x02, 0x4d, 0x58, 0x20, 0x13}};
// {A1F389D8-8861-490E-A391-95BE5FCD0031}
constexpr CLSID kClassD = {0xa1f389d8, 0x8861, 0x490e, {0xa3, 0x91, 0x95, 0xbe, 0x5f, 0xcd, 0x00, 0x31}};
// Never registered anywhere.
// {F46CFC15-C7AD-4930-867F-A1C6126AFBEE}
constexpr CLSID kUnregistered = {0xf46cfc15, 0xc7ad, 0x4930, {0x86, 0x7f, 0xa1, 0xc6, 0x12, 0x6a, 0xfb, 0xee}};

constexpr const wchar_t* kMachineServices = L"SOFTWARE\\Mirdex\\Services";
constexpr const wchar_t* kMachineStartup = L"SOFTWARE\\Mirdex\\Startup";
constexpr const wchar_t* kUserServices = L"Software\\Mirdex\\Services";
constexpr const wchar_t* kUserStartup = L"Software\\Mirdex\\Startup";

std::wstring clsidText(const CLSID& clsid) {
  wchar_t text[40] = {};
  ::StringFromGUID2(clsid, text, 40);
  return text;
}

std::wstring clsidEntry(const CLSID& clsid) { return L"CLSID:" + clsidText(clsid); }

std::string narrow(std::wstring_view text) {
  std::string out;
  for (wchar_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

// The name of a test plug-in, or "(null)".
std::wstring nameOf(IFrameworkPlugin* plugin) {
  return plugin ? TestPlugin::of(plugin)->name() : L"(null)";
}

// ---------------------------------------------------------------------------
// records

TEST(PluginInfoTest, ParsesTheThreeEntryForms) {
  ComApartment apartment;
  struct Case {
    const wchar_t* data;
    bool valid;
    const CLSID* clsid;
    const wchar_t* alias;
  };
  const Case cases[] = {
      {L"CLSID:{A1DC6FFA-E8C6-4D8B-9A97-BCEB848C8894}", true, &kClassA, L""},
      {L"clsid:{a1dc6ffa-e8c6-4d8b-9a97-bceb848c8894}", true, &kClassA, L""},
      {L"ClsId:{A1DC6FFA-E8C6-4D8B-9A97-BCEB848C8894}", true, &kClassA, L""},
      {L"CLSID:{A1DC6FFA-E8C6-4D8B-9A97}", false, &GUID_NULL, L""},
      // Only the braced form: the system's parser would also take a ProgID.
      {L"CLSID:A1DC6FFA-E8C6-4D8B-9A97-BCEB848C8894", false, &GUID_NULL, L""},
      {L"CLSID:", false, &GUID_NULL, L""},
      {L"PROGID:Mirdex.NoSuchProgId.1", false, &GUID_NULL, L""},
      {L"PROGID:", false, &GUID_NULL, L""},
      {L"SERVICE:Logger", true, &GUID_NULL, L"Logger"},
      {L"service:Foo,1.0", true, &GUID_NULL, L"Foo,1.0"},
      {L"SERVICE:", true, &GUID_NULL, L""},
      {L"SERVICE", false, &GUID_NULL, L""},
      {L" CLSID:{A1DC6FFA-E8C6-4D8B-9A97-BCEB848C8894}", false, &GUID_NULL, L""},
      {L"{A1DC6FFA-E8C6-4D8B-9A97-BCEB848C8894}", false, &GUID_NULL, L""},
      {L"", false, &GUID_NULL, L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(narrow(c.data));
    bool valid = !c.valid;
    const PluginInfo record = PluginInfo::fromEntry(L"Name,1.0", c.data, valid);
    EXPECT_EQ(valid, c.valid);
    EXPECT_EQ(record.name(), L"Name,1.0");
    EXPECT_TRUE(record.clsid() == *c.clsid);
    EXPECT_EQ(record.alias(), c.alias);
    EXPECT_FALSE(record.instance());
  }
}

TEST(PluginInfoTest, EqualityIgnoresAsciiCaseOfNameAndAliasOnly) {
  struct Case {
    const wchar_t* name1;
    const wchar_t* data1;
    const wchar_t* name2;
    const wchar_t* data2;
    bool equal;
  };
  const std::wstring a = clsidEntry(kClassA);
  const std::wstring b = clsidEntry(kClassB);
  const Case cases[] = {
      {L"Logger", L"SERVICE:Log", L"LOGGER", L"service:LOG", true},
      {L"Logger", a.c_str(), L"logger", a.c_str(), true},
      {L"Logger", a.c_str(), L"Logger", b.c_str(), false},
      {L"Tool", L"", L"tool", L"", true},
      {L"Tool", L"SERVICE:x", L"Tool", L"", false},
      {L"Tool", L"SERVICE:x", L"Tool", L"SERVICE:y", false},
      {L"Foo,1.0", L"", L"Foo", L"", false},
      {L"\u00C4rger", L"", L"\u00E4rger", L"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(narrow(c.name1) + "=" + narrow(c.data1) + " / " + narrow(c.name2) + "=" + narrow(c.data2));
    bool valid = false;
    const PluginInfo first = PluginInfo::fromEntry(c.name1, c.data1, valid);
    PluginInfo second = PluginInfo::fromEntry(c.name2, c.data2, valid);
    EXPECT_EQ(first == second, c.equal);
    // The instance takes no part.
    ComPtr<IFrameworkPlugin> plugin;
    ASSERT_EQ(TestPlugin::create(std::make_shared<TestPlugin::Kind>(), plugin), S_OK);
    second.setInstance(plugin.get());
    EXPECT_EQ(first == second, c.equal);
  }
}

TEST(PluginInfoTest, ServiceKeyLowersAsciiLettersOnly) {
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"LOGGER", L"logger"},
      {L"Foo,1.0", L"foo,1.0"},
      {L"AZaz@[`{", L"azaz@[`{"},
      {L"\u00C4RGER", L"\u00C4rger"},
      {L"\u0130I", L"\u0130i"},
      {L"", L""},
  };
  for (const auto& [name, key] : cases) EXPECT_EQ(PluginInfo::serviceKey(name), key) << narrow(name);
}

// "CLSID:A", "CLSID:B", "SERVICE:x" ... for the records of the order tests.
std::wstring describe(const PluginInfo& record) {
  if (record.isAlias()) return L"SERVICE:" + record.alias();
  if (record.clsid() == kClassA) return L"CLSID:A";
  if (record.clsid() == kClassB) return L"CLSID:B";
  return L"none";
}

std::vector<std::wstring> describe(const ServiceEntry& entry) {
  std::vector<std::wstring> out;
  for (const ServiceEntry::Candidate& candidate : entry.candidates()) out.push_back(describe(*candidate));
  return out;
}

TEST(ServiceEntryTest, PutsDirectRecordsFirstAndAliasesAfterEachNewestFirst) {
  const std::wstring a = clsidEntry(kClassA);
  const std::wstring b = clsidEntry(kClassB);
  struct Case {
    std::vector<std::wstring> added;
    std::vector<std::wstring> order;
  };
  const Case cases[] = {
      {{a, b}, {L"CLSID:B", L"CLSID:A"}},
      {{L"SERVICE:X", a}, {L"CLSID:A", L"SERVICE:X"}},
      {{a, L"SERVICE:X", L"SERVICE:Y"}, {L"CLSID:A", L"SERVICE:Y", L"SERVICE:X"}},
      {{L"SERVICE:X", L"service:x"}, {L"SERVICE:X"}},
      {{L"SERVICE:X", L"SERVICE:Y", L"SERVICE:X"}, {L"SERVICE:Y", L"SERVICE:X"}},
      {{a, a}, {L"CLSID:A", L"CLSID:A"}},
      {{L"SERVICE:X", a, L"SERVICE:X", b}, {L"CLSID:B", L"CLSID:A", L"SERVICE:X"}},
  };
  for (const Case& c : cases) {
    ServiceEntry entry;
    std::string trace;
    for (const std::wstring& data : c.added) {
      trace += narrow(data) + " ";
      bool valid = false;
      entry.add(PluginInfo::fromEntry(L"Svc", data, valid));
    }
    SCOPED_TRACE(trace);
    EXPECT_EQ(describe(entry), c.order);
    EXPECT_EQ(describe(*entry.first()), c.order.front());
  }
}

TEST(ServiceEntryTest, RemovesTheFirstMatchHoldingTheGivenInstance) {
  const auto kind = std::make_shared<TestPlugin::Kind>();
  ComPtr<IFrameworkPlugin> older, newer;
  ASSERT_EQ(TestPlugin::create(kind, older), S_OK);
  ASSERT_EQ(TestPlugin::create(kind, newer), S_OK);
  PluginInfo record(L"Tool");
  ServiceEntry entry;
  record.setInstance(older.get());
  entry.add(record);
  record.setInstance(newer.get());
  entry.add(record);
  record.setInstance(nullptr);
  older.reset();
  newer.reset();
  ASSERT_EQ(kind->live, 2);  // the entry's copies hold them

  // The newer record is first, but only the older one holds this instance.
  const PluginInfo probe(L"TOOL");
  IFrameworkPlugin* olderInstance = entry.candidates()[1]->instance().get();
  ServiceEntry::Candidate removed = entry.remove(probe, olderInstance);
  ASSERT_TRUE(removed);
  EXPECT_EQ(removed->instance().get(), olderInstance);
  ASSERT_EQ(entry.candidates().size(), 1u);
  removed.reset();
  EXPECT_EQ(kind->live, 1);

  EXPECT_FALSE(entry.remove(PluginInfo(L"Other"), nullptr));
  EXPECT_FALSE(entry.remove(probe, olderInstance));
  EXPECT_TRUE(entry.remove(probe, nullptr));
  EXPECT_TRUE(entry.empty());
  EXPECT_EQ(kind->live, 0);
  EXPECT_FALSE(entry.first());
}

// ---------------------------------------------------------------------------
// the controller

// Records the order in which the clean-up list is run; one member may
// delete itself while it cleans up.
class RecordingCleanup : public InternalCleanup {
public:
  RecordingCleanup(std::string name, std::vector<std::string>& order, bool deletesItself)
      : m_name(std::move(name)), m_order(order), m_deletesItself(deletesItself) {}
  void cleanup() override {
    m_order.push_back(m_name);
    if (m_deletesItself) delete this;
  }

private:
  std::string m_name;
  std::vector<std::string>& m_order;
  bool m_deletesItself;
};

class ControllerTest : public testing::Test {
protected:
  // Registering the library takes Wine a while: once for all the cases.
  static void SetUpTestSuite() { typeLibrary = std::make_unique<FrameworkTypeLibrary>(); }
  static void TearDownTestSuite() { typeLibrary.reset(); }

  void SetUp() override {
    ASSERT_TRUE(apartment.ok());
    ASSERT_EQ(typeLibrary->result(), S_OK);
    ASSERT_EQ(collections.registerAll(CollectionClasses::classEntries()), S_OK);
    // A launch string left over would reach the controllers started here.
    RegKey user;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Mirdex", 0, KEY_SET_VALUE, user.put()) == ERROR_SUCCESS) {
      ::RegDeleteValueW(user.get(), L"LaunchString");
    }
  }

  void TearDown() override {
    if (controller) shutDown();
    for (const auto& [root, path] : m_progIds) ::RegDeleteTreeW(root, path.c_str());
  }

  void createController() { ASSERT_EQ(CFrameworkController::create(controller), S_OK); }

  // The controller as the host starts it.
  void start() {
    createController();
    controller->init();
  }

  // And as the host ends it: destroy, then the last release.
  void shutDown() {
    controller->destroy();
    controller.reset();
  }

  static void setValue(HKEY root, const wchar_t* path, const std::wstring& name, DWORD type, const void* data,
                       DWORD bytes) {
    RegKey key;
    ASSERT_EQ(::RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr), ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExW(key.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), bytes),
              ERROR_SUCCESS);
  }

  static void setString(HKEY root, const wchar_t* path, const std::wstring& name, const std::wstring& data,
                        DWORD type = REG_SZ) {
    setValue(root, path, name, type, data.c_str(), static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  }

  // Makes progId name clsid where COM looks it up: the user's classes on
  // Windows. Wine reads the machine's classes only, so there it goes too
  // when the user's entry is not seen.
  void registerProgId(const std::wstring& progId, const CLSID& clsid) {
    const std::wstring userPath = L"Software\\Classes\\" + progId;
    m_progIds.emplace_back(HKEY_CURRENT_USER, userPath);
    setString(HKEY_CURRENT_USER, (userPath + L"\\CLSID").c_str(), L"", clsidText(clsid));
    CLSID found;
    if (SUCCEEDED(::CLSIDFromProgID(progId.c_str(), &found)) && found == clsid) return;
    m_progIds.emplace_back(HKEY_CLASSES_ROOT, progId);
    setString(HKEY_CLASSES_ROOT, (progId + L"\\CLSID").c_str(), L"", clsidText(clsid));
    ASSERT_EQ(::CLSIDFromProgID(progId.c_str(), &found), S_OK);
    ASSERT_TRUE(found == clsid);
  }

  ComPtr<IFrameworkPlugin> load(const wchar_t* name) {
    const Bstr text(name);
    ComPtr<IFrameworkPlugin> service;
    EXPECT_EQ(controller->LoadService(text.get(), service.put()), S_OK);
    return service;
  }

  void add(const wchar_t* name, const std::wstring& value, IFrameworkPlugin* instance) {
    EXPECT_EQ(controller->AddService(Bstr(name).get(), Bstr(value).get(), instance), S_OK);
  }

  void remove(const wchar_t* name, const std::wstring& value, IFrameworkPlugin* instance) {
    EXPECT_EQ(controller->RemoveService(Bstr(name).get(), Bstr(value).get(), instance), S_OK);
  }

  // The controller's lines; the launch-string monitor's, which come from
  // its own thread at their own pace, are left out.
  std::vector<std::string> lines() const {
    std::vector<std::string> out;
    for (const LogCapture::Record& record : capture.records("controller")) {
      if (!record.message.starts_with("LaunchStringThread::")) out.push_back(record.message);
    }
    return out;
  }

  // The lines logged since the last call.
  std::vector<std::string> newLines() {
    std::vector<std::string> all = lines();
    std::vector<std::string> fresh(all.begin() + static_cast<std::ptrdiff_t>(std::min(m_seen, all.size())),
                                   all.end());
    m_seen = all.size();
    return fresh;
  }

  size_t countOf(const std::string& line) const { return std::ranges::count(lines(), line); }

  // The level of the first line equal to text; 0 when there is none.
  int levelOf(const std::string& text) const {
    for (const LogCapture::Record& record : capture.records("controller")) {
      if (record.message == text) return record.level;
    }
    return 0;
  }

  bool anyLineStartsWith(const std::string& prefix) const {
    return std::ranges::any_of(lines(), [&](const std::string& line) { return line.starts_with(prefix); });
  }

  EnvironmentOverride logLevel{L"MIRDEX_LOG_LEVEL", L"debug"};
  ComApartment apartment;
  static inline std::unique_ptr<FrameworkTypeLibrary> typeLibrary;
  ClassObjectRegistration collections;
  SavedRegistryKey machineServices{HKEY_LOCAL_MACHINE, L"SOFTWARE\\Mirdex", L"Services"};
  SavedRegistryKey machineStartup{HKEY_LOCAL_MACHINE, L"SOFTWARE\\Mirdex", L"Startup"};
  SavedRegistryKey userServices{HKEY_CURRENT_USER, L"Software\\Mirdex", L"Services"};
  SavedRegistryKey userStartup{HKEY_CURRENT_USER, L"Software\\Mirdex", L"Startup"};
  LogCapture capture;
  CFrameworkController::Ptr controller;

private:
  std::vector<std::pair<HKEY, std::wstring>> m_progIds;
  size_t m_seen = 0;
};

TEST_F(ControllerTest, HoldsTheModuleForItsWholeLifeAndLogsItsHooks) {
  const LONG before = ComModule::instance().lockCount();
  createController();
  EXPECT_EQ(ComModule::instance().lockCount(), before + 1);
  controller.reset();
  EXPECT_EQ(ComModule::instance().lockCount(), before);
  EXPECT_EQ(lines(), (std::vector<std::string>{"CFrameworkController::FinalConstruct():",
                                               "CFrameworkController::FinalRelease():"}));
}

TEST_F(ControllerTest, AnswersNameVersionAndLocaleEarlyAndLateBound) {
  createController();
  Bstr text;
  ASSERT_EQ(controller->get_Name(text.put()), S_OK);
  EXPECT_EQ(text, std::wstring_view(L"FrameworkController,1.0"));
  ASSERT_EQ(controller->get_Desc(text.put()), S_OK);
  EXPECT_FALSE(text.empty());
  ASSERT_EQ(controller->get_ProductVersion(text.put()), S_OK);
  EXPECT_EQ(text.toUtf8(), MIRDEX_TEST_PRODUCT_VERSION);

  // Locale: null until set, a copy of what was put, null again after a put of null.
  ASSERT_EQ(controller->get_Locale(text.put()), S_OK);
  EXPECT_TRUE(text.isNull());
  ASSERT_EQ(controller->put_Locale(Bstr(L"zh-CN").get()), S_OK);
  ASSERT_EQ(controller->get_Locale(text.put()), S_OK);
  EXPECT_EQ(text, std::wstring_view(L"zh-CN"));
  ASSERT_EQ(controller->put_Locale(nullptr), S_OK);
  ASSERT_EQ(controller->get_Locale(text.put()), S_OK);
  EXPECT_TRUE(text.isNull());
  EXPECT_EQ(controller->get_Locale(nullptr), E_POINTER);
  EXPECT_EQ(controller->LoadService(Bstr(L"x").get(), nullptr), E_POINTER);

  // Through the type library embedded in the program, as pages call it.
  Variant result;
  ASSERT_EQ(DispatchCall::invokeByName(controller.get(), L"Name", DISPATCH_PROPERTYGET, {}, result.put()), S_OK);
  ASSERT_EQ(result.type(), VT_BSTR);
  EXPECT_EQ(std::wstring_view(V_BSTR(&result)), L"FrameworkController,1.0");
  ASSERT_EQ(DispatchCall::invokeByName(controller.get(), L"ProductVersion", DISPATCH_PROPERTYGET, {},
                                       result.put()),
            S_OK);
  ASSERT_EQ(result.type(), VT_BSTR);
  EXPECT_EQ(narrow(V_BSTR(&result)), MIRDEX_TEST_PRODUCT_VERSION);
}

TEST_F(ControllerTest, IsConnectableSafeForScriptingAndSited) {
  createController();
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(controller->QueryInterface(IID_IConnectionPointContainer, container.putVoid()), S_OK);
  ComPtr<IConnectionPoint> point;
  EXPECT_EQ(container->FindConnectionPoint(DIID__IFrameworkControllerEvents, point.put()), S_OK);

  ComPtr<IObjectSafety> safety;
  ASSERT_EQ(controller->QueryInterface(IID_IObjectSafety, safety.putVoid()), S_OK);
  DWORD supported = 0;
  DWORD enabled = 0;
  ASSERT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_TRUE(supported & INTERFACESAFE_FOR_UNTRUSTED_CALLER);

  ComPtr<IObjectWithSite> sited;
  EXPECT_EQ(controller->QueryInterface(IID_IObjectWithSite, sited.putVoid()), S_OK);
}

TEST_F(ControllerTest, FindsItselfBehindItsInterfacesInItsOwnApartmentOnly) {
  createController();
  CFrameworkController* const object = controller.get();
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(controller->QueryInterface(IID_IDispatch, dispatch.putVoid()), S_OK);
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(controller->QueryInterface(IID_IConnectionPointContainer, container.putVoid()), S_OK);
  EXPECT_EQ(CFrameworkController::fromInterface(static_cast<IFrameworkController*>(controller.get())), object);
  EXPECT_EQ(CFrameworkController::fromInterface(dispatch.get()), object);
  EXPECT_EQ(CFrameworkController::fromInterface(container.get()), object);
  EXPECT_EQ(CFrameworkController::fromInterface(nullptr), nullptr);
  ComPtr<IFrameworkPlugin> plugin;
  ASSERT_EQ(TestPlugin::create(std::make_shared<TestPlugin::Kind>(), plugin), S_OK);
  EXPECT_EQ(CFrameworkController::fromInterface(plugin.get()), nullptr);

  // From another apartment the controller is a proxy: the private question
  // does not cross, and the answer is null rather than a foreign pointer.
  ComPtr<IStream> stream;
  ASSERT_EQ(::CoMarshalInterThreadInterfaceInStream(IID_IUnknown, dispatch.get(), stream.put()), S_OK);
  KernelHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(done);
  HRESULT unmarshalled = E_FAIL;
  CFrameworkController* fromProxy = object;
  std::thread other([&] {
    ComApartment mta(COINIT_MULTITHREADED);
    ComPtr<IUnknown> proxy;
    unmarshalled = ::CoGetInterfaceAndReleaseStream(stream.detach(), IID_IUnknown, proxy.putVoid());
    if (SUCCEEDED(unmarshalled)) fromProxy = CFrameworkController::fromInterface(proxy.get());
    proxy.reset();
    ::SetEvent(done.get());
  });
  DWORD signalled = 0;
  HANDLE handles[] = {done.get()};
  const HRESULT waited = ::CoWaitForMultipleHandles(0, 60000, 1, handles, &signalled);
  other.join();
  ASSERT_EQ(waited, S_OK);
  ASSERT_EQ(unmarshalled, S_OK);
  EXPECT_EQ(fromProxy, nullptr);
}

TEST_F(ControllerTest, InitWithNoEntriesLogsTheScanInOrder) {
  start();
  Bstr desc;
  ASSERT_EQ(controller->get_Desc(desc.put()), S_OK);
  const std::vector<std::string> expected = {
      "CFrameworkController::FinalConstruct():",
      std::string("CFrameworkController::init: Mirdex v") + MIRDEX_TEST_PRODUCT_VERSION,
      "CFrameworkController::init: FrameworkController,1.0 (" + narrow(desc.view()) + ")",
      "CFrameworkController::init: >>>>> scanning machine level services <<<<<",
      "CFrameworkController::init: HKEY_LOCAL_MACHINE\\SOFTWARE\\Mirdex\\Services",
      "CFrameworkController::init: >>>>> loading machine level startups <<<<<",
      "CFrameworkController::init: HKEY_LOCAL_MACHINE\\SOFTWARE\\Mirdex\\Startup",
      "CFrameworkController::init: >>>>> scanning user level services <<<<<",
      "CFrameworkController::init: HKEY_CURRENT_USER\\Software\\Mirdex\\Services",
      "CFrameworkController::init: >>>>> loading user level startups <<<<<",
      "CFrameworkController::init: HKEY_CURRENT_USER\\Software\\Mirdex\\Startup",
      "CFrameworkController::init: >>>>> all services/startups are scanned/loaded <<<<<",
      "CFrameworkController::init: start launch string monitor",
  };
  std::vector<std::string> logged = lines();
  ASSERT_EQ(logged.size(), expected.size() + 1);
  const std::string started = logged.back();
  logged.pop_back();
  EXPECT_EQ(logged, expected);
  // Started last, with the id of its thread.
  EXPECT_TRUE(started.starts_with("CFrameworkController::init: launch string monitor started at ")) << started;
  EXPECT_NE(started, "CFrameworkController::init: launch string monitor started at 0");

  // Nothing loaded, nothing enrolled: the shut-down has nothing to report
  // but the count.
  newLines();
  shutDown();
  EXPECT_EQ(newLines(), (std::vector<std::string>{"CFrameworkController::destroy: stop launch string monitor",
                                                  "CFrameworkController::destroy: >>>>> unloading all services <<<<<",
                                                  "CFrameworkController::destroy: >>>>> 0 services unloaded <<<<<",
                                                  "CFrameworkController::FinalRelease():"}));
}

TEST_F(ControllerTest, UserLevelHidesMachineLevelUntilItIsRemoved) {
  TestPluginClass machine(kClassA, L"MachineLogger");
  TestPluginClass user(kClassB, L"UserLogger");
  ASSERT_EQ(machine.registration(), S_OK);
  ASSERT_EQ(user.registration(), S_OK);
  setString(HKEY_LOCAL_MACHINE, kMachineServices, L"Logger", machine.entry());
  setString(HKEY_CURRENT_USER, kUserServices, L"Logger", user.entry());
  start();

  EXPECT_EQ(countOf("CFrameworkController::RegisterPlugin: logger == Logger"), 2u);
  EXPECT_EQ(countOf("CFrameworkController::FindRegistryValues: Logger = " + narrow(machine.entry())), 1u);
  EXPECT_EQ(countOf("CFrameworkController::FindRegistryValues: Logger = " + narrow(user.entry())), 1u);
  // Registering creates nothing.
  EXPECT_EQ(machine.kind().created + user.kind().created, 0);

  EXPECT_EQ(nameOf(load(L"logger").get()), L"UserLogger");
  newLines();
  remove(L"Logger", user.entry(), nullptr);
  EXPECT_EQ(newLines(), (std::vector<std::string>{"CFrameworkController::RemoveService: removing logger (Logger)",
                                                  "CFrameworkController::RemoveService: removed logger (Logger)"}));
  EXPECT_EQ(user.kind().live, 0);  // the record's reference went with it
  EXPECT_EQ(machine.kind().created, 0);
  EXPECT_EQ(nameOf(load(L"LOGGER").get()), L"MachineLogger");
  EXPECT_EQ(machine.kind().created, 1);
}

TEST_F(ControllerTest, LooksUpWholeNamesIgnoringAsciiCaseOnly) {
  TestPluginClass logger(kClassA, L"Logger");
  TestPluginClass foo(kClassB, L"Foo");
  TestPluginClass umlaut(kClassC, L"Umlaut");
  setString(HKEY_CURRENT_USER, kUserServices, L"Logger", logger.entry());
  setString(HKEY_CURRENT_USER, kUserServices, L"Foo,1.0", foo.entry());
  setString(HKEY_CURRENT_USER, kUserServices, L"\u00C4rger", umlaut.entry());
  start();

  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"logger", L"Logger"},      {L"LOGGER", L"Logger"},       {L"Logger", L"Logger"},
      {L"foo,1.0", L"Foo"},        {L"FOO,1.0", L"Foo"},         {L"Foo", L"(null)"},
      {L"foo,1", L"(null)"},       {L"foo,1.0 ", L"(null)"},     {L"\u00C4rger", L"Umlaut"},
      {L"\u00C4RGER", L"Umlaut"},  {L"\u00E4rger", L"(null)"},   {L"", L"(null)"},
  };
  for (const auto& [name, expected] : cases) EXPECT_EQ(nameOf(load(name).get()), expected) << narrow(name);

  // Every spelling reached the one instance of each service.
  EXPECT_EQ(logger.kind().created, 1);
  EXPECT_EQ(foo.kind().created, 1);
  EXPECT_EQ(umlaut.kind().created, 1);
  EXPECT_EQ(load(L"LOGGER").get(), load(L"logger").get());
  EXPECT_EQ(controller->LoadService(nullptr, ComPtr<IFrameworkPlugin>().put()), S_OK);
}

TEST_F(ControllerTest, FollowsAliasesToOneInstanceAndStopsAtCycles) {
  TestPluginClass target(kClassA, L"Target");
  TestPluginClass other(kClassB, L"Other");
  const std::pair<const wchar_t*, std::wstring> entries[] = {
      {L"A", L"SERVICE:B"},         {L"B", L"SERVICE:A"},         {L"Self", L"SERVICE:self"},
      {L"Short", L"SERVICE:Target"}, {L"Chain", L"SERVICE:SHORT"}, {L"Target", target.entry()},
      {L"Dangling", L"SERVICE:Nowhere"},
  };
  for (const auto& [name, data] : entries) setString(HKEY_CURRENT_USER, kUserServices, name, data);
  // At machine level a direct record: the user-level alias of the same name
  // is newer, but a direct record always wins.
  setString(HKEY_LOCAL_MACHINE, kMachineServices, L"Direct", other.entry());
  setString(HKEY_CURRENT_USER, kUserServices, L"Direct", L"SERVICE:Target");
  start();
  newLines();

  EXPECT_FALSE(load(L"A"));
  EXPECT_FALSE(load(L"b"));
  EXPECT_FALSE(load(L"Self"));
  EXPECT_FALSE(load(L"Dangling"));
  // Lookups that lead nowhere are silent and create nothing.
  EXPECT_EQ(newLines(), std::vector<std::string>());

  const ComPtr<IFrameworkPlugin> viaTarget = load(L"Target");
  ASSERT_TRUE(viaTarget);
  EXPECT_EQ(load(L"short").get(), viaTarget.get());
  EXPECT_EQ(load(L"Chain").get(), viaTarget.get());
  EXPECT_EQ(target.kind().created, 1);
  EXPECT_EQ(nameOf(load(L"Direct").get()), L"Other");
}

TEST_F(ControllerTest, ResolvesProgIdsWhenReadAndSkipsInvalidEntries) {
  TestPluginClass byProgId(kClassA, L"ByProgId");
  registerProgId(L"Mirdex.ControllerTest.Plugin", kClassA);
  const std::pair<const wchar_t*, const wchar_t*> invalid[] = {
      {L"Bad", L"FOO:bar"},
      {L"BadClsid", L"CLSID:{nope}"},
      {L"NoProgId", L"PROGID:Mirdex.NoSuchProgId.1"},
  };
  for (const auto& [name, data] : invalid) setString(HKEY_CURRENT_USER, kUserServices, name, data);
  setString(HKEY_CURRENT_USER, kUserServices, L"Good", L"progid:Mirdex.ControllerTest.Plugin");
  setString(HKEY_CURRENT_USER, kUserStartup, L"BadStart", L"nonsense");
  start();

  for (const auto& [name, data] : invalid) {
    const std::string line = "CFrameworkController::initServices: invalid entry: " + narrow(name) + "=" + narrow(data);
    EXPECT_EQ(countOf(line), 1u) << line;
    EXPECT_EQ(levelOf(line), Logger::kError);
    EXPECT_FALSE(load(name));
  }
  EXPECT_EQ(levelOf("CFrameworkController::initStartups: invalid entry: BadStart = nonsense"), Logger::kError);
  EXPECT_EQ(nameOf(load(L"good").get()), L"ByProgId");
  EXPECT_EQ(countOf("CFrameworkController::LoadPlugin: ByProgId (ByProgId desc)"), 1u);
}

TEST_F(ControllerTest, SkipsValuesThatAreNotShortStrings) {
  TestPluginClass good(kClassA, L"Good");
  TestPluginClass expanded(kClassB, L"Expanded");
  const DWORD number = 7;
  setValue(HKEY_CURRENT_USER, kUserServices, L"Number", REG_DWORD, &number, sizeof(number));
  setString(HKEY_CURRENT_USER, kUserServices, L"Long256", std::wstring(256, L'x'));
  setString(HKEY_CURRENT_USER, kUserServices, L"Long300", std::wstring(300, L'x'));
  // 255 characters is the longest text read (it is no valid entry, though).
  setString(HKEY_CURRENT_USER, kUserServices, L"Edge255", std::wstring(255, L'x'));
  // Stored without its terminator, 256 characters fill the buffer exactly:
  // still one too many.
  const std::wstring unterminated(256, L'y');
  setValue(HKEY_CURRENT_USER, kUserServices, L"Raw256", REG_SZ, unterminated.data(),
           static_cast<DWORD>(unterminated.size() * sizeof(wchar_t)));
  setString(HKEY_CURRENT_USER, kUserServices, L"Good", good.entry());
  setString(HKEY_CURRENT_USER, kUserServices, L"Expanded", expanded.entry(), REG_EXPAND_SZ);
  start();

  const std::string prefix = "CFrameworkController::FindRegistryValues: can't query Software\\Mirdex\\Services, ";
  const std::string invalidData = StatusText(ERROR_INVALID_DATA).str();
  const std::string moreData = StatusText(ERROR_MORE_DATA).str();
  for (const std::string& line : {prefix + "Number: " + invalidData, prefix + "Long256: " + moreData,
                                  prefix + "Long300: " + moreData, prefix + "Raw256: " + moreData}) {
    EXPECT_EQ(countOf(line), 1u) << line;
    EXPECT_EQ(levelOf(line), Logger::kError) << line;
  }
  EXPECT_EQ(countOf("CFrameworkController::FindRegistryValues: Edge255 = " + std::string(255, 'x')), 1u);
  EXPECT_EQ(countOf("CFrameworkController::initServices: invalid entry: Edge255=" + std::string(255, 'x')), 1u);
  EXPECT_FALSE(anyLineStartsWith("CFrameworkController::FindRegistryValues: can't enum"));
  // The values around the skipped ones are read.
  EXPECT_EQ(nameOf(load(L"Good").get()), L"Good");
  EXPECT_EQ(nameOf(load(L"Expanded").get()), L"Expanded");
}

TEST_F(ControllerTest, ValueNameTooLongForTheBufferEndsTheEnumeration) {
  TestPluginClass longest(kClassA, L"Longest");
  setString(HKEY_LOCAL_MACHINE, kMachineServices, std::wstring(256, L'n'), longest.entry());
  // 255 characters is the longest name read.
  const std::wstring name255(255, L'm');
  setString(HKEY_CURRENT_USER, kUserServices, name255, longest.entry());
  start();

  const std::string line = "CFrameworkController::FindRegistryValues: can't enum SOFTWARE\\Mirdex\\Services: " +
                           StatusText(ERROR_MORE_DATA).str();
  EXPECT_EQ(countOf(line), 1u) << line;
  EXPECT_EQ(levelOf(line), Logger::kError);
  EXPECT_FALSE(load(std::wstring(256, L'n').c_str()));
  EXPECT_EQ(nameOf(load(name255.c_str()).get()), L"Longest");
}

TEST_F(ControllerTest, StartupsAreCreatedAttachedAndLeftToKeepThemselves) {
  TestPluginClass transient(kClassA, L"Transient");
  TestPluginClass keeper(kClassB, L"Keeper");
  int transientAttaches = 0;
  transient.kind().onAttach = [&](TestPlugin&, IFrameworkController*) { ++transientAttaches; };
  // A start-up that wants to stay registers itself as a service.
  keeper.kind().onAttach = [](TestPlugin& self, IFrameworkController* framework) {
    framework->AddService(Bstr(L"Keeper").get(), Bstr(L"").get(), self.self());
  };
  setString(HKEY_CURRENT_USER, kUserStartup, L"Transient", transient.entry());
  setString(HKEY_CURRENT_USER, kUserStartup, L"Keeper", keeper.entry());
  setString(HKEY_CURRENT_USER, kUserStartup, L"Alias", L"SERVICE:Keeper");
  start();

  EXPECT_EQ(transient.kind().created, 1);
  EXPECT_EQ(transientAttaches, 1);
  EXPECT_EQ(transient.kind().live, 0);  // nothing kept it
  EXPECT_FALSE(load(L"Transient"));     // start-ups are not services
  EXPECT_EQ(keeper.kind().live, 1);
  const ComPtr<IFrameworkPlugin> kept = load(L"keeper");
  EXPECT_EQ(nameOf(kept.get()), L"Keeper");
  EXPECT_EQ(keeper.kind().created, 1);

  EXPECT_EQ(countOf("CFrameworkController::LoadPlugin: Alias"), 1u);
  EXPECT_EQ(levelOf("CFrameworkController::LoadPlugin: missing CLSID: Alias"), Logger::kError);
  EXPECT_EQ(countOf("CFrameworkController::LoadPlugin: Transient (Transient desc)"), 1u);

  // At shut-down only what the table holds is detached: the keeper.
  TestPlugin* const keeperObject = TestPlugin::of(kept.get());
  shutDown();
  EXPECT_EQ(countOf("CFrameworkController::destroy: >>>>> 1 services unloaded <<<<<"), 1u);
  EXPECT_EQ(keeperObject->puts(), (std::vector<bool>{true, false}));
}

TEST_F(ControllerTest, MachineStartupSeesMachineLevelServicesOnly) {
  TestPluginClass machineService(kClassA, L"MachineService");
  TestPluginClass userService(kClassB, L"UserService");
  TestPluginClass starter(kClassC, L"Starter");
  TestPluginClass userOnly(kClassD, L"UserOnly");
  std::map<std::wstring, std::wstring> seen;
  starter.kind().onAttach = [&](TestPlugin&, IFrameworkController* framework) {
    for (const wchar_t* name : {L"Svc", L"UserOnly"}) {
      ComPtr<IFrameworkPlugin> service;
      framework->LoadService(Bstr(name).get(), service.put());
      seen[name] = nameOf(service.get());
    }
  };
  setString(HKEY_LOCAL_MACHINE, kMachineServices, L"Svc", machineService.entry());
  setString(HKEY_LOCAL_MACHINE, kMachineStartup, L"Starter", starter.entry());
  setString(HKEY_CURRENT_USER, kUserServices, L"Svc", userService.entry());
  setString(HKEY_CURRENT_USER, kUserServices, L"UserOnly", userOnly.entry());
  start();

  EXPECT_EQ(seen, (std::map<std::wstring, std::wstring>{{L"Svc", L"MachineService"}, {L"UserOnly", L"(null)"}}));
  EXPECT_EQ(nameOf(load(L"Svc").get()), L"UserService");
  EXPECT_EQ(nameOf(load(L"UserOnly").get()), L"UserOnly");
}

TEST_F(ControllerTest, AddedInstanceIsServedUntilOneMatchingRemoval) {
  TestPluginClass lazy(kClassA, L"Lazy");
  start();
  const auto toolKind = std::make_shared<TestPlugin::Kind>();
  toolKind->name = L"Tool";
  ComPtr<IFrameworkPlugin> tool, stranger;
  ASSERT_EQ(TestPlugin::create(toolKind, tool), S_OK);
  ASSERT_EQ(TestPlugin::create(toolKind, stranger), S_OK);

  newLines();
  add(L"Tool", L"", tool.get());
  EXPECT_EQ(newLines(), std::vector<std::string>{"CFrameworkController::RegisterPlugin: tool == Tool"});
  EXPECT_EQ(load(L"tool").get(), tool.get());
  // Given, not created: the controller does not attach it either.
  EXPECT_EQ(TestPlugin::of(tool.get())->puts(), std::vector<bool>());

  // Late-bound, as a page asks for it.
  Variant result;
  ASSERT_EQ(DispatchCall::invokeByName(controller.get(), L"LoadService", DISPATCH_METHOD, {Variant(L"TOOL")},
                                       result.put()),
            S_OK);
  ASSERT_EQ(result.type(), VT_DISPATCH);
  EXPECT_TRUE(sameComObject(V_DISPATCH(&result), tool.get()));
  result.clear();

  // Another instance does not match.
  newLines();
  remove(L"tool", L"", stranger.get());
  EXPECT_EQ(newLines(), std::vector<std::string>{"CFrameworkController::RemoveService: removing tool (tool)"});
  EXPECT_EQ(load(L"Tool").get(), tool.get());

  remove(L"tool", L"", tool.get());
  EXPECT_EQ(newLines(), (std::vector<std::string>{"CFrameworkController::RemoveService: removing tool (tool)",
                                                  "CFrameworkController::RemoveService: removed tool (tool)"}));
  remove(L"tool", L"", tool.get());
  EXPECT_EQ(newLines(), std::vector<std::string>{"CFrameworkController::RemoveService: removing tool (tool)"});
  EXPECT_FALSE(load(L"tool"));
  tool.reset();
  stranger.reset();
  EXPECT_EQ(toolKind->live, 0);

  remove(L"Unknown", L"", nullptr);
  const std::string notFound = "CFrameworkController::RemoveService: not found unknown (Unknown)";
  EXPECT_EQ(newLines(),
            (std::vector<std::string>{"CFrameworkController::RemoveService: removing unknown (Unknown)", notFound}));
  EXPECT_EQ(levelOf(notFound), Logger::kWarn);

  // Without an instance, a class entry is created on first use.
  add(L"Lazy", lazy.entry(), nullptr);
  EXPECT_EQ(lazy.kind().created, 0);
  EXPECT_EQ(nameOf(load(L"lazy").get()), L"Lazy");
  EXPECT_EQ(lazy.kind().created, 1);
}

TEST_F(ControllerTest, SameAliasAddedTwiceIsKeptOnce) {
  TestPluginClass target(kClassA, L"Target");
  start();
  add(L"Target", target.entry(), nullptr);
  add(L"Alias", L"SERVICE:Target", nullptr);
  add(L"alias", L"service:target", nullptr);
  EXPECT_EQ(nameOf(load(L"Alias").get()), L"Target");

  newLines();
  remove(L"Alias", L"SERVICE:Target", nullptr);
  EXPECT_EQ(newLines(), (std::vector<std::string>{"CFrameworkController::RemoveService: removing alias (Alias)",
                                                  "CFrameworkController::RemoveService: removed alias (Alias)"}));
  // A second copy would still lead to the target.
  EXPECT_FALSE(load(L"Alias"));
  // The emptied entry stays: removing again is no "not found".
  remove(L"Alias", L"SERVICE:Target", nullptr);
  EXPECT_EQ(newLines(), std::vector<std::string>{"CFrameworkController::RemoveService: removing alias (Alias)"});
}

TEST_F(ControllerTest, LoadServiceTriesAgainAfterFailedCreation) {
  TestPluginClass flaky(kClassA, L"Flaky");
  flaky.kind().failNextCreation = E_ACCESSDENIED;
  setString(HKEY_CURRENT_USER, kUserServices, L"Flaky", flaky.entry());
  setString(HKEY_CURRENT_USER, kUserServices, L"Missing", clsidEntry(kUnregistered));
  start();
  newLines();

  EXPECT_FALSE(load(L"Flaky"));
  const std::string failed = "CFrameworkController::LoadPlugin: Failed to create Flaky: " + StatusText(E_ACCESSDENIED).str();
  EXPECT_EQ(newLines(), (std::vector<std::string>{"CFrameworkController::LoadPlugin: Flaky", failed}));
  EXPECT_EQ(levelOf(failed), Logger::kError);
  EXPECT_EQ(nameOf(load(L"Flaky").get()), L"Flaky");
  EXPECT_EQ(newLines(), (std::vector<std::string>{"CFrameworkController::LoadPlugin: Flaky",
                                                  "CFrameworkController::LoadPlugin: Flaky (Flaky desc)"}));
  // Loaded now: no further creation.
  EXPECT_EQ(nameOf(load(L"Flaky").get()), L"Flaky");
  EXPECT_EQ(newLines(), std::vector<std::string>());
  EXPECT_EQ(flaky.kind().created, 1);

  // A class nobody registered fails every time, and every time it is tried.
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_FALSE(load(L"Missing"));
    const std::vector<std::string> fresh = newLines();
    ASSERT_EQ(fresh.size(), 2u);
    EXPECT_TRUE(fresh[1].starts_with("CFrameworkController::LoadPlugin: Failed to create Missing: E")) << fresh[1];
  }
}

TEST_F(ControllerTest, DestroyDetachesEveryLoadedServiceOnceAndKeepsThemUntilTheEnd) {
  TestPluginClass one(kClassA, L"One");
  TestPluginClass two(kClassB, L"Two");
  TestPluginClass never(kClassC, L"Never");
  TestPluginClass failing(kClassD, L"Failing");
  failing.kind().detachResult = E_UNEXPECTED;
  setString(HKEY_CURRENT_USER, kUserServices, L"One", one.entry());
  setString(HKEY_CURRENT_USER, kUserServices, L"Two", two.entry());
  setString(HKEY_CURRENT_USER, kUserServices, L"Never", never.entry());
  setString(HKEY_CURRENT_USER, kUserServices, L"Failing", failing.entry());
  start();
  const auto addedKind = std::make_shared<TestPlugin::Kind>();
  {
    ComPtr<IFrameworkPlugin> added;
    ASSERT_EQ(TestPlugin::create(addedKind, added), S_OK);
    add(L"Added", L"", added.get());
  }
  std::vector<TestPlugin*> loaded;
  for (const wchar_t* name : {L"One", L"Two", L"Failing"}) {
    loaded.push_back(TestPlugin::of(load(name).get()));
    ASSERT_TRUE(loaded.back());
  }
  for (TestPlugin* plugin : loaded) EXPECT_EQ(plugin->puts(), std::vector<bool>{true});
  const TestPlugin* added = TestPlugin::of(load(L"Added").get());

  newLines();
  controller->destroy();
  std::vector<std::string> fresh = newLines();
  ASSERT_EQ(fresh.size(), 8u);
  EXPECT_EQ(fresh.front(), "CFrameworkController::destroy: stop launch string monitor");
  fresh.erase(fresh.begin());
  EXPECT_EQ(fresh.front(), "CFrameworkController::destroy: >>>>> unloading all services <<<<<");
  const std::string warning =
      "CFrameworkController::destroy: unload plugin error for Failing: " + StatusText(E_UNEXPECTED).str();
  // The table has no order of its own; each service is named once, the
  // failing one followed by its warning.
  const std::set<std::string> middle(fresh.begin() + 1, fresh.end() - 1);
  EXPECT_EQ(middle, (std::set<std::string>{"CFrameworkController::destroy: One", "CFrameworkController::destroy: Two",
                                           "CFrameworkController::destroy: Failing",
                                           "CFrameworkController::destroy: Added", warning}));
  const auto failingLine = std::ranges::find(fresh, "CFrameworkController::destroy: Failing");
  ASSERT_NE(failingLine, fresh.end());
  EXPECT_EQ(*(failingLine + 1), warning);
  EXPECT_EQ(levelOf(warning), Logger::kWarn);
  EXPECT_EQ(fresh.back(), "CFrameworkController::destroy: >>>>> 4 services unloaded <<<<<");

  for (TestPlugin* plugin : loaded) EXPECT_EQ(plugin->puts(), (std::vector<bool>{true, false}));
  EXPECT_EQ(added->puts(), std::vector<bool>{false});
  EXPECT_EQ(never.kind().created, 0);
  // Detached, not released: the controller lets go when it ends.
  EXPECT_EQ(one.kind().live + two.kind().live + failing.kind().live + addedKind->live, 4);
  controller.reset();
  EXPECT_EQ(one.kind().live + two.kind().live + failing.kind().live + addedKind->live, 0);
  EXPECT_EQ(lines().back(), "CFrameworkController::FinalRelease():");
}

TEST_F(ControllerTest, DestroyRunsTheCleanupListNewestFirst) {
  start();
  std::vector<std::string> order;
  RecordingCleanup first("first", order, false);
  new RecordingCleanup("second", order, true);  // deletes itself during its cleanup
  RecordingCleanup third("third", order, false);
  ASSERT_EQ(InternalCleanup::count(), 3u);

  newLines();
  controller->destroy();
  EXPECT_EQ(order, (std::vector<std::string>{"third", "second", "first"}));
  EXPECT_EQ(InternalCleanup::count(), 2u);
  EXPECT_EQ(newLines(), (std::vector<std::string>{"CFrameworkController::destroy: stop launch string monitor",
                                                  "CFrameworkController::destroy: >>>>> unloading all services <<<<<",
                                                  "CFrameworkController::destroy: >>>>> 0 services unloaded <<<<<",
                                                  "CFrameworkController::destroy: internal cleanups: 3"}));
  controller.reset();
}

TEST_F(ControllerTest, ServicesMayChangeTheTableWhileBeingAttachedOrDetached) {
  TestPluginClass svc(kClassA, L"Svc");
  const auto replacementKind = std::make_shared<TestPlugin::Kind>();
  replacementKind->name = L"Replacement";
  // Attaching, the service registers a newer instance under its own name
  // (the entry's list grows under the record being loaded); detaching, it
  // removes its own registration (the table shrinks during shut-down).
  svc.kind().onAttach = [&](TestPlugin&, IFrameworkController* framework) {
    ComPtr<IFrameworkPlugin> replacement;
    ASSERT_EQ(TestPlugin::create(replacementKind, replacement), S_OK);
    for (int i = 0; i < 8; ++i) framework->AddService(Bstr(L"SVC").get(), Bstr(L"").get(), replacement.get());
  };
  svc.kind().onDetach = [&](TestPlugin& self, IFrameworkController* framework) {
    framework->RemoveService(Bstr(L"Svc").get(), Bstr(svc.entry()).get(), self.self());
  };
  setString(HKEY_CURRENT_USER, kUserServices, L"Svc", svc.entry());
  start();

  // The call that created the service returns it; later calls find the
  // newer registration first.
  EXPECT_EQ(nameOf(load(L"Svc").get()), L"Svc");
  EXPECT_EQ(nameOf(load(L"Svc").get()), L"Replacement");
  EXPECT_EQ(svc.kind().created, 1);

  newLines();
  controller->destroy();
  EXPECT_EQ(lines().back(), "CFrameworkController::destroy: >>>>> 9 services unloaded <<<<<");
  EXPECT_EQ(countOf("CFrameworkController::RemoveService: removed svc (Svc)"), 1u);
  EXPECT_EQ(svc.kind().live, 0);  // its record went with the removal
  controller.reset();
  EXPECT_EQ(replacementKind->live, 0);
}

}  // namespace
