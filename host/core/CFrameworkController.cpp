#include "CFrameworkController.h"

#include "ComModule.h"
#include "InternalCleanup.h"
#include "Logger.h"
#include "LoggerManager.h"
#include "StatusText.h"

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

// Reads a string value of at most kMaxValueText characters. ERROR_INVALID_DATA
// for a value that is not a string, ERROR_MORE_DATA for a longer one.
LONG readStringValue(HKEY key, const wchar_t* name, std::wstring& text) {
  wchar_t buffer[kMaxValueText + 1];
  DWORD type = REG_NONE;
  DWORD bytes = sizeof(buffer);
  const LONG rc = ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
  if (rc != ERROR_SUCCESS) return rc;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
  // The stored data need not end with a terminator; the text ends at the
  // first one, if any.
  std::wstring_view stored(buffer, bytes / sizeof(wchar_t));
  stored = stored.substr(0, stored.find(L'\0'));
  if (stored.size() > kMaxValueText) return ERROR_MORE_DATA;
  text.assign(stored);
  return ERROR_SUCCESS;
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
void CFrameworkController::startLaunchStringMonitor() {}

void CFrameworkController::stopLaunchStringMonitor() {}

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
    const LONG queried = readStringValue(key.get(), name, data);
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
// IFrameworkController: members not available yet

STDMETHODIMP CFrameworkController::get_BaseUrl(BSTR* pUrl) noexcept {
  if (pUrl) *pUrl = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CFrameworkController::GetProperty(BSTR, VARIANT* pValue) noexcept {
  if (pValue) ::VariantInit(pValue);
  return E_NOTIMPL;
}

STDMETHODIMP CFrameworkController::SetProperty(BSTR, VARIANT) noexcept { return E_NOTIMPL; }

STDMETHODIMP CFrameworkController::get_MainWindow(IDispatch** pWindow) noexcept {
  if (pWindow) *pWindow = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CFrameworkController::OpenWindow(BSTR, BSTR, LONG, LONG) noexcept { return E_NOTIMPL; }

STDMETHODIMP CFrameworkController::get_onLaunchString(VARIANT* pHandler) noexcept {
  if (pHandler) ::VariantInit(pHandler);
  return E_NOTIMPL;
}

STDMETHODIMP CFrameworkController::put_onLaunchString(VARIANT) noexcept { return E_NOTIMPL; }

STDMETHODIMP CFrameworkController::GetLaunchString(VARIANT_BOOL, IStringObjectMap** pParams) noexcept {
  if (pParams) *pParams = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CFrameworkController::SetLaunchString(BSTR) noexcept { return E_NOTIMPL; }

STDMETHODIMP CFrameworkController::Restart() noexcept { return E_NOTIMPL; }

STDMETHODIMP CFrameworkController::get_onExternalAccess(VARIANT* pHandler) noexcept {
  if (pHandler) ::VariantInit(pHandler);
  return E_NOTIMPL;
}

STDMETHODIMP CFrameworkController::put_onExternalAccess(VARIANT) noexcept { return E_NOTIMPL; }

STDMETHODIMP CFrameworkController::SetExternalAccess(BSTR, LONG, VARIANT_BOOL) noexcept { return E_NOTIMPL; }

STDMETHODIMP CFrameworkController::GetExternalAccess() noexcept { return E_NOTIMPL; }

STDMETHODIMP CFrameworkController::ChangeMainWindow(BSTR, VARIANT, VARIANT) noexcept { return E_NOTIMPL; }

STDMETHODIMP CFrameworkController::get_onChangeMainWindow(VARIANT* pHandler) noexcept {
  if (pHandler) ::VariantInit(pHandler);
  return E_NOTIMPL;
}

STDMETHODIMP CFrameworkController::put_onChangeMainWindow(VARIANT) noexcept { return E_NOTIMPL; }

STDMETHODIMP CFrameworkController::Encode(BSTR, BSTR, BSTR* pCode) noexcept {
  if (pCode) *pCode = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CFrameworkController::Decode(BSTR, BSTR, BSTR* pText) noexcept {
  if (pText) *pText = nullptr;
  return E_NOTIMPL;
}
