#include "CFrameworkController.h"

#include "CFrameworkShell.h"
#include "CFrameworkWindow.h"
#include "CollectionClasses.h"
#include "CollectionValue.h"
#include "ComModule.h"
#include "InternalCleanup.h"
#include "LaunchStringParser.h"
#include "Logger.h"
#include "LoggerManager.h"
#include "OperatingSystemTests.h"
#include "RegistryText.h"
#include "StatusText.h"

#include <mshtml.h>
#include <shellapi.h>

#include <algorithm>
#include <new>
#include <string_view>

namespace {

// Answered only by the controller itself, with its own object: how the host's
// windows, which hold nothing but the controller's interface, find the
// object behind it. No proxy or stub exists for it, so it never crosses an
// apartment.
// {A89A3006-D28F-4423-A179-7809A6D8AEE5}
constexpr IID kSelfIid = {0xa89a3006, 0xd28f, 0x4423, {0xa1, 0x79, 0x78, 0x09, 0xa6, 0xd8, 0xae, 0xe5}};

constexpr const wchar_t* kName = L"FrameworkController,1.0";
constexpr const wchar_t* kDesc =
    L"<b>Mirdex Framework</b>: the controller that finds, creates and connects the services of "
    L"the Mirdex host.";

// The longest value name and value text the scan accepts, in characters
// (without the terminator).
constexpr DWORD kMaxValueName = 255;
constexpr DWORD kMaxValueText = 255;

// One registry key read by init: where to log it from, where it is, and
// whether its entries are services (registered) or start-ups (created).
struct ScanStep {
  const char* banner;
  const char* location;
  HKEY root;
  const wchar_t* subkey;
  bool startups;
};

std::wstring_view viewOf(BSTR text) noexcept {
  return text ? std::wstring_view(text, ::SysStringLen(text)) : std::wstring_view();
}

// "a.b.c.d" from the product version of the program's version resource;
// null when the program has none. The controller is always linked into the
// program, so the module of this code is the program.
Bstr readProductVersion() {
  const std::wstring path = ComModule::modulePath();
  if (path.empty()) return {};
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<BYTE> block(size);
  if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return {};
  void* fixed = nullptr;
  UINT fixedSize = 0;
  if (!::VerQueryValueW(block.data(), L"\\", &fixed, &fixedSize) || !fixed ||
      fixedSize < sizeof(VS_FIXEDFILEINFO)) {
    return {};
  }
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
  if (info->dwSignature != VS_FFI_SIGNATURE) return {};
  const std::wstring text = std::to_wstring(HIWORD(info->dwProductVersionMS)) + L"." +
                            std::to_wstring(LOWORD(info->dwProductVersionMS)) + L"." +
                            std::to_wstring(HIWORD(info->dwProductVersionLS)) + L"." +
                            std::to_wstring(LOWORD(info->dwProductVersionLS));
  return Bstr(text);
}

}  // namespace

CFrameworkController::CFrameworkController() : m_events(*this, DIID__IFrameworkControllerEvents) {}

CFrameworkController::~CFrameworkController() = default;

HRESULT CFrameworkController::create(Ptr& out) noexcept {
  try {
    return ComObject<CFrameworkController>::create(out);
  } catch (const std::bad_alloc&) {
    out.reset();
    return E_OUTOFMEMORY;
  }
}

CFrameworkController* CFrameworkController::fromInterface(IUnknown* object) noexcept {
  if (!object) return nullptr;
  ComPtr<IFrameworkController> controller;
  if (FAILED(object->QueryInterface(kSelfIid, controller.putVoid())) || !controller) return nullptr;
  return static_cast<CFrameworkController*>(controller.get());
}

std::span<const InterfaceEntry<CFrameworkController>> CFrameworkController::interfaceMap() noexcept {
  using Self = CFrameworkController;
  static constexpr InterfaceEntry<Self> map[] = {
      interfaceEntry<Self, IFrameworkController>(IID_IFrameworkController),
      interfaceEntry<Self, IDispatch, IFrameworkController>(IID_IDispatch),
      interfaceEntry<Self, IConnectionPointContainer>(IID_IConnectionPointContainer),
      interfaceEntry<Self, IObjectWithSite>(IID_IObjectWithSite),
      interfaceEntry<Self, IObjectSafety>(IID_IObjectSafety),
      interfaceEntry<Self, IFrameworkController>(kSelfIid),
  };
  return map;
}

HRESULT CFrameworkController::finalConstruct() noexcept {
  m_logger = LoggerManager::get("controller");
  m_logger->info("CFrameworkController::FinalConstruct():");
  return S_OK;
}

void CFrameworkController::finalRelease() noexcept {
  m_logger->info("CFrameworkController::FinalRelease():");
  m_events.disconnectAll();
  m_properties.Clear();
  // The services go last, with the table already empty, in case one of them
  // calls back while it is being released.
  ServiceTable services;
  services.swap(m_services);
  services.clear();
}

// ---------------------------------------------------------------------------
// start-up and shut-down

void CFrameworkController::init() {
  Bstr version;
  get_ProductVersion(version.put());
  m_logger->info("CFrameworkController::init: %s v%S", "Mirdex", version.c_str());
  m_logger->info("CFrameworkController::init: %S (%S)", kName, kDesc);

  // Machine level first, so that a user-level registration of the same
  // name is the newer one and wins; machine start-ups see machine services
  // only.
  const ScanStep steps[] = {
      {">>>>> scanning machine level services <<<<<", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Mirdex\\Services",
       HKEY_LOCAL_MACHINE, L"SOFTWARE\\Mirdex\\Services", false},
      {">>>>> loading machine level startups <<<<<", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Mirdex\\Startup",
       HKEY_LOCAL_MACHINE, L"SOFTWARE\\Mirdex\\Startup", true},
      {">>>>> scanning user level services <<<<<", "HKEY_CURRENT_USER\\Software\\Mirdex\\Services",
       HKEY_CURRENT_USER, L"Software\\Mirdex\\Services", false},
      {">>>>> loading user level startups <<<<<", "HKEY_CURRENT_USER\\Software\\Mirdex\\Startup",
       HKEY_CURRENT_USER, L"Software\\Mirdex\\Startup", true},
  };
  RegistryValues values;
  for (const ScanStep& step : steps) {
    m_logger->info("CFrameworkController::init: %s", step.banner);
    m_logger->info("CFrameworkController::init: %s", step.location);
    values.clear();
    findRegistryValues(step.root, step.subkey, values);
    if (step.startups) {
      initStartups(values);
    } else {
      initServices(values);
    }
  }
  m_logger->info("CFrameworkController::init: >>>>> all services/startups are scanned/loaded <<<<<");

  startLaunchStringMonitor();
  createAccessAnnounceWindow();
}

void CFrameworkController::destroy() {
  destroyAccessAnnounceWindow();
  stopLaunchStringMonitor();

  m_logger->info("CFrameworkController::destroy: >>>>> unloading all services <<<<<");
  // A service may add or remove services while it is detached, so the
  // table is not walked while the services are called.
  std::vector<std::pair<std::wstring, ComPtr<IFrameworkPlugin>>> loaded;
  for (const auto& [key, entry] : m_services) {
    for (const ServiceEntry::Candidate& candidate : entry.candidates()) {
      if (candidate->instance()) loaded.emplace_back(candidate->name(), candidate->instance());
    }
  }
  int unloaded = 0;
  for (const auto& [name, plugin] : loaded) {
    m_logger->info("CFrameworkController::destroy: %S", name.c_str());
    const HRESULT hr = plugin->put_Framework(nullptr);
    if (FAILED(hr)) {
      m_logger->warn("CFrameworkController::destroy: unload plugin error for %S: %s", name.c_str(),
                     StatusText(hr).c_str());
    }
    ++unloaded;
  }
  m_logger->info("CFrameworkController::destroy: >>>>> %d services unloaded <<<<<", unloaded);

  if (const size_t cleanups = InternalCleanup::count(); cleanups != 0) {
    m_logger->info("CFrameworkController::destroy: internal cleanups: %d", static_cast<int>(cleanups));
    InternalCleanup::cleanupAll();
  }

  clearAccessList();
}

// The launch-string monitor is started last in init, after every service
// and start-up is in place, and asked to stop (without waiting) first in
// destroy.
void CFrameworkController::startLaunchStringMonitor() {
  m_logger->info("CFrameworkController::init: start launch string monitor");
  m_launchStringMonitor.setLogger(m_logger);
  DWORD threadId = 0;
  const HRESULT hr = m_launchStringMonitor.setController(self());
  if (FAILED(hr)) {
    // Without the controller the monitor could take launch strings but not
    // deliver them: they stay in the registry instead.
    m_logger->error("CFrameworkController::init: can't hand the controller to the launch string monitor: %s",
                    StatusText(hr).c_str());
  } else {
    m_launchStringMonitor.start(&threadId);
  }
  m_logger->info("CFrameworkController::init: launch string monitor started at %lu", threadId);
}

void CFrameworkController::stopLaunchStringMonitor() {
  m_logger->info("CFrameworkController::destroy: stop launch string monitor");
  m_launchStringMonitor.stop(false, INFINITE);
  // The thread's reference is a proxy whose release is a call into this
  // apartment: it is served here, before the host lets go of the
  // controller, so that the controller's end never waits for a thread that
  // waits for this apartment.
  m_launchStringMonitor.releaseController();
}

// The announcement tells outside programs that the host is ready, so the
// window comes after everything else in init and goes first in destroy.
void CFrameworkController::createAccessAnnounceWindow() {}

void CFrameworkController::destroyAccessAnnounceWindow() {}

// Pending external access requests are dropped after the clean-up list ran.
void CFrameworkController::clearAccessList() {}

// ---------------------------------------------------------------------------
// the service table

size_t CFrameworkController::findRegistryValues(HKEY root, const wchar_t* subkey, RegistryValues& values) {
  RegKey key;
  LONG rc = ::RegOpenKeyExW(root, subkey, 0, KEY_READ, key.put());
  if (rc != ERROR_SUCCESS) {
    if (rc != ERROR_FILE_NOT_FOUND && rc != ERROR_PATH_NOT_FOUND) {
      m_logger->warn("CFrameworkController::FindRegistryValues: can't open %S: %s", subkey,
                     StatusText(rc).c_str());
    }
    return 0;
  }
  size_t count = 0;
  for (DWORD index = 0;; ++index) {
    wchar_t name[kMaxValueName + 1];
    DWORD nameLength = kMaxValueName + 1;
    rc = ::RegEnumValueW(key.get(), index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) break;
    std::wstring data;
    const LONG queried = RegistryText::read(key.get(), name, kMaxValueText, data);
    if (queried != ERROR_SUCCESS) {
      m_logger->error("CFrameworkController::FindRegistryValues: can't query %S, %S: %s", subkey, name,
                      StatusText(queried).c_str());
      continue;
    }
    m_logger->info("CFrameworkController::FindRegistryValues: %S = %S", name, data.c_str());
    values.emplace_back(name, std::move(data));
    ++count;
  }
  if (rc != ERROR_NO_MORE_ITEMS) {
    m_logger->error("CFrameworkController::FindRegistryValues: can't enum %S: %s", subkey,
                    StatusText(rc).c_str());
  }
  return count;
}

void CFrameworkController::initServices(const RegistryValues& values) {
  for (const auto& [name, data] : values) {
    bool valid = false;
    const PluginInfo record = PluginInfo::fromEntry(name, data, valid);
    if (valid) {
      registerPlugin(record);
    } else {
      m_logger->error("CFrameworkController::initServices: invalid entry: %S=%S", name.c_str(), data.c_str());
    }
  }
}

void CFrameworkController::initStartups(const RegistryValues& values) {
  for (const auto& [name, data] : values) {
    bool valid = false;
    // The record lives for this round only: a start-up plug-in is created,
    // attached and left to keep itself alive (typically by registering
    // itself with AddService).
    PluginInfo record = PluginInfo::fromEntry(name, data, valid);
    if (valid) {
      loadPlugin(record);
    } else {
      m_logger->error("CFrameworkController::initStartups: invalid entry: %S = %S", name.c_str(),
                      data.c_str());
    }
  }
}

void CFrameworkController::registerPlugin(const PluginInfo& record) {
  const std::wstring key = record.key();
  m_services[key].add(record);
  m_logger->info("CFrameworkController::RegisterPlugin: %S == %S", key.c_str(), record.name().c_str());
}

ServiceEntry::Candidate CFrameworkController::findPlugin(const std::wstring& name) const {
  std::wstring current = PluginInfo::serviceKey(name);
  std::vector<std::wstring> visited;
  for (;;) {
    if (std::ranges::find(visited, current) != visited.end()) return nullptr;
    const auto found = m_services.find(current);
    if (found == m_services.end()) return nullptr;
    ServiceEntry::Candidate first = found->second.first();
    if (!first) return nullptr;
    if (!first->isAlias()) return first;
    visited.push_back(std::move(current));
    current = PluginInfo::serviceKey(first->alias());
  }
}

bool CFrameworkController::loadPlugin(PluginInfo& record) {
  if (record.instance()) return true;
  const wchar_t* name = record.name().c_str();
  m_logger->info("CFrameworkController::LoadPlugin: %S", name);
  if (!record.hasClass()) {
    m_logger->error("CFrameworkController::LoadPlugin: missing CLSID: %S", name);
    return false;
  }
  ComPtr<IFrameworkPlugin> plugin;
  HRESULT hr = ::CoCreateInstance(record.clsid(), nullptr, CLSCTX_ALL, IID_IFrameworkPlugin, plugin.putVoid());
  if (SUCCEEDED(hr) && !plugin) hr = E_NOINTERFACE;
  if (FAILED(hr)) {
    record.setInstance(nullptr);
    m_logger->error("CFrameworkController::LoadPlugin: Failed to create %S: %s", name, StatusText(hr).c_str());
    return false;
  }
  // Creating a class of another apartment lets calls in while it waits; one
  // of them may have loaded this very record. The first instance stays.
  if (record.instance()) return true;
  record.setInstance(plugin.get());

  Bstr pluginName;
  Bstr pluginDesc;
  plugin->get_PluginName(pluginName.put());
  plugin->get_PluginDesc(pluginDesc.put());
  m_logger->info("CFrameworkController::LoadPlugin: %S (%S)", pluginName.c_str(), pluginDesc.c_str());
  plugin->put_Framework(self());
  return true;
}

// ---------------------------------------------------------------------------
// IFrameworkController: the service table

STDMETHODIMP CFrameworkController::LoadService(BSTR name, IFrameworkPlugin** pService) noexcept {
  if (!pService) return E_POINTER;
  *pService = nullptr;
  try {
    // The record is held here, so it stays whole while the plug-in is
    // created and attached even if the table changes meanwhile.
    const ServiceEntry::Candidate record = findPlugin(std::wstring(viewOf(name)));
    if (record && loadPlugin(*record)) record->instance().CopyTo(pService);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CFrameworkController::AddService(BSTR name, BSTR value, IFrameworkPlugin* instance) noexcept {
  try {
    // Whatever the value says, the record is registered: with an instance
    // it needs neither class nor alias.
    bool valid = false;
    PluginInfo record = PluginInfo::fromEntry(viewOf(name), viewOf(value), valid);
    record.setInstance(instance);
    registerPlugin(record);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CFrameworkController::RemoveService(BSTR name, BSTR value, IFrameworkPlugin* instance) noexcept {
  try {
    const std::wstring given(viewOf(name));
    const std::wstring key = PluginInfo::serviceKey(given);
    m_logger->info("CFrameworkController::RemoveService: removing %S (%S)", key.c_str(), given.c_str());
    const auto found = m_services.find(key);
    if (found == m_services.end()) {
      m_logger->warn("CFrameworkController::RemoveService: not found %S (%S)", key.c_str(), given.c_str());
      return S_OK;
    }
    bool valid = false;
    const PluginInfo probe = PluginInfo::fromEntry(given, viewOf(value), valid);
    // Held until the line is logged: releasing the instance may call back.
    const ServiceEntry::Candidate removed = found->second.remove(probe, instance);
    if (removed) {
      m_logger->info("CFrameworkController::RemoveService: removed %S (%S)", key.c_str(), given.c_str());
    }
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

// ---------------------------------------------------------------------------
// IFrameworkController: identity and locale

STDMETHODIMP CFrameworkController::get_Name(BSTR* pName) noexcept {
  if (!pName) return E_POINTER;
  *pName = ::SysAllocString(kName);
  return *pName ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CFrameworkController::get_Desc(BSTR* pDesc) noexcept {
  if (!pDesc) return E_POINTER;
  *pDesc = ::SysAllocString(kDesc);
  return *pDesc ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CFrameworkController::get_Locale(BSTR* pLocale) noexcept { return m_locale.copyTo(pLocale); }

STDMETHODIMP CFrameworkController::put_Locale(BSTR newVal) noexcept {
  try {
    m_locale = newVal ? Bstr(viewOf(newVal)) : Bstr();
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CFrameworkController::get_ProductVersion(BSTR* pVersion) noexcept {
  if (!pVersion) return E_POINTER;
  *pVersion = nullptr;
  try {
    *pVersion = readProductVersion().detach();
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

// ---------------------------------------------------------------------------
// IFrameworkController: properties, windows and restart

STDMETHODIMP CFrameworkController::get_BaseUrl(BSTR* pUrl) noexcept {
  if (!pUrl) return E_POINTER;
  *pUrl = nullptr;
  try {
    // Without the program path the URL still names the resource folder.
    const std::wstring url = L"res://" + ComModule::modulePath() + L"/_HTML_/";
    *pUrl = Bstr(url).detach();
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CFrameworkController::GetProperty(BSTR key, VARIANT* pValue) noexcept {
  if (!pValue) return E_POINTER;
  ::VariantInit(pValue);
  try {
    const std::wstring_view name = viewOf(key);
    // Answered from the system every time; values stored under these names
    // are never seen.
    if (name == L"UserMode") {
      Variant(OperatingSystemTests::isAdministrator() ? L"Admin" : L"User").detach(pValue);
    } else if (name == L"OsName") {
      Variant(OperatingSystemTests::isVistaOrLater() ? L"WinVista" : L"WinXP").detach(pValue);
    } else if (name == L"WindowsVista") {
      Variant(OperatingSystemTests::isVistaOrLater()).detach(pValue);
    } else if (name == L"WindowsUAC") {
      Variant(OperatingSystemTests::isAccountControlActive()).detach(pValue);
    } else {
      return m_properties.Get(name, pValue);
    }
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CFrameworkController::SetProperty(BSTR key, VARIANT value) noexcept {
  return m_properties.Set(viewOf(key), value);
}

STDMETHODIMP CFrameworkController::get_MainWindow(IDispatch** pWindow) noexcept {
  if (!pWindow) return E_POINTER;
  *pWindow = nullptr;
  IHTMLWindow2* window = m_mainWindow ? m_mainWindow->htmlWindow() : nullptr;
  if (!window) {
    m_logger->error("CFrameworkController::get_MainWindow: html window in main window not set");
    return S_OK;
  }
  window->AddRef();
  *pWindow = window;
  return S_OK;
}

std::wstring CFrameworkController::openWindowScript(std::wstring_view name, std::wstring_view url, LONG width,
                                                    LONG height) {
  std::wstring script = L"gg_OpenWindow('";
  script.append(name);
  script.append(L"', '");
  for (const wchar_t c : url) {
    script.push_back(c);
    if (c == L'\\') script.push_back(c);
  }
  script.push_back(L'\'');
  for (const LONG size : {width, height}) {
    if (size != 0) script.append(L", ").append(std::to_wstring(size));
  }
  script.push_back(L')');
  return script;
}

STDMETHODIMP CFrameworkController::OpenWindow(BSTR Name, BSTR url, LONG width, LONG height) noexcept {
  try {
    m_logger->info("CFrameworkController::OpenWindow: name=%S url=%S w=%ld h=%ld", Bstr(viewOf(Name)).c_str(),
                   Bstr(viewOf(url)).c_str(), width, height);
    const std::wstring script = openWindowScript(viewOf(Name), viewOf(url), width, height);
    m_logger->info("CFrameworkController::OpenWindow: %S", script.c_str());
    IHTMLWindow2* window = m_mainWindow ? m_mainWindow->htmlWindow() : nullptr;
    if (!window) return S_OK;
    Variant result;
    const HRESULT hr = window->execScript(Bstr(script).get(), Bstr(L"javascript").get(), result.put());
    if (FAILED(hr)) {
      m_logger->error("CFrameworkController::OpenWindow: execScript failed: %s", StatusText(hr).c_str());
    }
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CFrameworkController::ChangeMainWindow(BSTR op, VARIANT p1, VARIANT p2) noexcept {
  if (!m_changeMainWindowHandler.isSet()) return S_OK;
  try {
    m_changeMainWindowHandler.invoke({Variant(CollectionValue::copyOf(op)), Variant(p1), Variant(p2)});
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CFrameworkController::get_onChangeMainWindow(VARIANT* pHandler) noexcept {
  return m_changeMainWindowHandler.toVariant(pHandler);
}

STDMETHODIMP CFrameworkController::put_onChangeMainWindow(VARIANT newVal) noexcept {
  return m_changeMainWindowHandler.setFromVariant(newVal);
}

STDMETHODIMP CFrameworkController::Restart() noexcept {
  m_logger->debug("CFrameworkController::Restart(): enter");
  CFrameworkShell* shell = m_mainWindow ? m_mainWindow->shell() : nullptr;
  if (shell) {
    try {
      const std::wstring path = ComModule::modulePath();
      const std::wstring arguments = L"-wait " + std::to_wstring(::GetCurrentProcessId());
      m_logger->debug("CFrameworkController::Restart(): %S %S", path.c_str(), arguments.c_str());
      const HINSTANCE started =
          ::ShellExecuteW(nullptr, L"open", path.c_str(), arguments.c_str(), nullptr, SW_SHOWNORMAL);
      const INT_PTR result = reinterpret_cast<INT_PTR>(started);
      if (result <= 32) {
        m_logger->error("CFrameworkController::Restart(): fail to create process: %s",
                        StatusText(static_cast<DWORD>(result)).c_str());
      }
    } catch (const std::bad_alloc&) {
      m_logger->error("CFrameworkController::Restart(): fail to create process: %s",
                      StatusText(E_OUTOFMEMORY).c_str());
    }
    // Even without a new instance the page closes this one, as asked.
    shell->fireOnExitNow();
  }
  m_logger->debug("CFrameworkController::Restart(): leave");
  return S_OK;
}

// ---------------------------------------------------------------------------
// IFrameworkController: launch strings

STDMETHODIMP CFrameworkController::get_onLaunchString(VARIANT* pHandler) noexcept {
  return m_launchStringHandler.toVariant(pHandler);
}

STDMETHODIMP CFrameworkController::put_onLaunchString(VARIANT newVal) noexcept {
  return m_launchStringHandler.setFromVariant(newVal);
}

ComPtr<IStringObjectMap> CFrameworkController::launchStringParameters(const std::wstring& url, DWORD age) {
  ComPtr<IStringObjectMap> params = CollectionClasses::newStringObjectMap("CFrameworkController", "GetLaunchString");
  if (!params) return params;
  Variant ageValue(static_cast<unsigned long>(age));
  params->Set(Bstr(L"age").get(), ageValue);
  params->Set(Bstr(L"URL").get(), Variant(url));
  LaunchStringParser::addTo(url, params.get());
  return params;
}

STDMETHODIMP CFrameworkController::GetLaunchString(VARIANT_BOOL keep, IStringObjectMap** pParams) noexcept {
  if (!pParams) return E_POINTER;
  *pParams = nullptr;
  try {
    std::wstring url = m_launchString;
    if (!keep) m_launchString.clear();
    if (url.empty()) return S_OK;
    const DWORD age = m_tickSource() - m_launchStringTick;
    if (age > kLaunchStringLifetime) {
      m_launchString.clear();
      return S_OK;
    }
    *pParams = launchStringParameters(url, age).detach();
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CFrameworkController::SetLaunchString(BSTR url) noexcept {
  try {
    const std::wstring_view text = viewOf(url);
    m_logger->info("CFrameworkController::SetLaunchString: %S", std::wstring(text).c_str());
    // A null string is an empty one to automation; either clears.
    if (text.empty()) {
      m_launchString.clear();
      return S_OK;
    }
    m_launchString.assign(text);
    m_launchStringTick = m_tickSource();
    if (m_logger->enabled(Logger::kDebug)) dumpLaunchString();

    // The pages' own answer to the event, not the controller's.
    IDispatch* const framework = self();
    m_events.fire(1, {Variant(framework)});
    m_launchStringHandler.invoke({Variant(framework)});
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

void CFrameworkController::dumpLaunchString() {
  m_logger->debug("CFrameworkController::SetLaunchString: begin dump");
  ComPtr<IStringObjectMap> params;
  GetLaunchString(VARIANT_TRUE, params.put());
  const auto text = [&](const wchar_t* key) {
    Variant value;
    Bstr out;
    if (params && SUCCEEDED(params->Get(Bstr(key).get(), value.put()))) value.asString(out);
    return out;
  };
  m_logger->debug("CFrameworkController::SetLaunchString:   scheme: [%S]", text(L"scheme").c_str());
  m_logger->debug("CFrameworkController::SetLaunchString:     path: [%S]", text(L"path").c_str());

  Variant queryValue;
  ComPtr<IStringObjectMap> query;
  ComPtr<IObjectList> names;
  if (params && SUCCEEDED(params->Get(Bstr(L"query").get(), queryValue.put())) &&
      queryValue.type() == VT_DISPATCH && V_DISPATCH(&queryValue) &&
      SUCCEEDED(V_DISPATCH(&queryValue)->QueryInterface(IID_IStringObjectMap, query.putVoid())) &&
      SUCCEEDED(query->get_keys(names.put())) && names) {
    LONG count = 0;
    names->get_size(&count);
    for (LONG i = 0; i < count; ++i) {
      Variant nameValue;
      Bstr name;
      if (FAILED(names->Get(i, nameValue.put())) || FAILED(nameValue.asString(name))) continue;
      Variant value;
      query->Get(name.get(), value.put());
      ComPtr<IObjectList> values;
      if (value.type() == VT_BSTR) {
        m_logger->debug("CFrameworkController::SetLaunchString:    query: [%S = %S]", name.c_str(),
                        Bstr(viewOf(V_BSTR(&value))).c_str());
      } else if (value.type() == VT_DISPATCH && V_DISPATCH(&value) &&
                 SUCCEEDED(V_DISPATCH(&value)->QueryInterface(IID_IObjectList, values.putVoid())) && values) {
        LONG size = 0;
        values->get_size(&size);
        for (LONG j = 0; j < size; ++j) {
          Variant item;
          Bstr itemText;
          if (SUCCEEDED(values->Get(j, item.put()))) item.asString(itemText);
          m_logger->debug("CFrameworkController::SetLaunchString:   *query: [%S = %S]", name.c_str(),
                          itemText.c_str());
        }
      } else {
        m_logger->debug("CFrameworkController::SetLaunchString:    query: [%S]", name.c_str());
      }
    }
  }
  m_logger->debug("CFrameworkController::SetLaunchString: end dump");
}

// ---------------------------------------------------------------------------
// IFrameworkController: protected values

STDMETHODIMP CFrameworkController::Encode(BSTR purpose, BSTR src, BSTR* pCode) noexcept {
  if (!pCode) return E_POINTER;
  *pCode = nullptr;
  try {
    *pCode = m_protectedValues.encode(purpose, src).detach();
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CFrameworkController::Decode(BSTR purpose, BSTR src, BSTR* pText) noexcept {
  if (!pText) return E_POINTER;
  *pText = nullptr;
  try {
    *pText = m_protectedValues.decode(purpose, src).detach();
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

// ---------------------------------------------------------------------------
// IFrameworkController: members not available yet

STDMETHODIMP CFrameworkController::get_onExternalAccess(VARIANT* pHandler) noexcept {
  if (pHandler) ::VariantInit(pHandler);
  return E_NOTIMPL;
}

STDMETHODIMP CFrameworkController::put_onExternalAccess(VARIANT) noexcept { return E_NOTIMPL; }

STDMETHODIMP CFrameworkController::SetExternalAccess(BSTR, LONG, VARIANT_BOOL) noexcept { return E_NOTIMPL; }

STDMETHODIMP CFrameworkController::GetExternalAccess() noexcept { return E_NOTIMPL; }
