#include "CFrameworkModule.h"

#include "Bstr.h"
#include "CFrameworkWindow.h"
#include "CrashDump.h"
#include "ComModule.h"
#include "CommandLine.h"
#include "InitialWindowRect.h"
#include "LanguageSelection.h"
#include "LocalServerClasses.h"
#include "Logger.h"
#include "LoggerManager.h"
#include "LoggingKey.h"
#include "OperatingSystemTests.h"
#include "RegisteredMessages.h"
#include "Registrar.h"
#include "ResourceStrings.h"
#include "ServerRegistration.h"
#include "StatusText.h"
#include "resource.h"

#include <psapi.h>

#include <cstdint>
#include <memory>
#include <new>

namespace {

constexpr wchar_t kUserKey[] = L"Software\\Mirdex";
constexpr wchar_t kLaunchStringValue[] = L"LaunchString";
constexpr wchar_t kMainWindowValue[] = L"hMainWin";
constexpr wchar_t kMutexName[] = L"Global\\miRdexInstance";
constexpr wchar_t kCaption[] = L"Mirdex";

// Waits for an old instance named by "wait" at most this long.
constexpr DWORD kWaitForProcessMs = 60000;
// Base names of the program are compared up to this length.
constexpr DWORD kMaxProgramName = 100;
// A running instance that does not answer its restore request within this
// time is taken to hang; the second start then ends without it.
constexpr UINT kRestoreTimeoutMs = 30000;

// Status of the module's OLE initialisation that still lets it run: the
// apartment was set up differently by the managed runtime in the process.
bool oleUsable(HRESULT hr) noexcept {
  if (SUCCEEDED(hr)) return true;
  return hr == RPC_E_CHANGED_MODE && ::GetModuleHandleW(L"mscoree.dll") != nullptr;
}

using E = RegistryEntry;
using R = RegistryRoot;

// The per-user browser settings, rewritten at every start.
constexpr RegistryEntry kBrowserSettings[] = {
    E::string(R::CurrentUser, L"Software\\Mirdex\\browser\\Main", L"Play_Animations", L"yes"),
    E::string(R::CurrentUser, L"Software\\Mirdex\\browser\\Main", L"Play_Background_Sounds", L"yes"),
    E::string(R::CurrentUser, L"Software\\Mirdex\\browser\\Main", L"Display Inline Images", L"yes"),
    E::string(R::CurrentUser, L"Software\\Mirdex\\browser\\Main", L"Display Inline Videos", L"yes"),
    E::string(R::CurrentUser, L"Software\\Mirdex\\browser\\Main", L"Enable Browser Extensions", L"no"),
    E::dword(R::CurrentUser, L"Software\\Mirdex\\browser\\Main", L"UseThemes", 1),
    E::dword(R::CurrentUser,
             L"Software\\Mirdex\\browser\\Main\\FeatureControl\\FEATURE_DISABLE_NAVIGATION_SOUNDS",
             L"iexplore.exe", 1),
};

CFrameworkModule* g_module = nullptr;

RegKey openUserKey() noexcept {
  RegKey key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kUserKey, 0, KEY_READ | KEY_WRITE, key.put()) !=
      ERROR_SUCCESS) {
    key.reset();
  }
  return key;
}

// The main window handle another instance published, or null.
HWND publishedMainWindow() noexcept {
  RegKey key = openUserKey();
  if (!key) return nullptr;
  DWORD type = REG_NONE;
  DWORD value = 0;
  DWORD bytes = sizeof(value);
  if (::RegQueryValueExW(key.get(), kMainWindowValue, nullptr, &type,
                         reinterpret_cast<BYTE*>(&value), &bytes) != ERROR_SUCCESS ||
      type != REG_DWORD || bytes != sizeof(value)) {
    return nullptr;
  }
  // Window handles carry 32 significant bits on every Windows.
  return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(value));
}

void bringToFront(HWND window) noexcept {
  ::ShowWindow(window, SW_RESTORE);
  ::SetForegroundWindow(window);
}

}  // namespace

CFrameworkModule::CFrameworkModule(HINSTANCE instance, int showCommand) noexcept
    : m_instance(instance),
      m_showCommand(showCommand),
      m_mainThreadId(::GetCurrentThreadId()),
      m_shutdownMonitor(m_mainThreadId, kTimeOut) {
  g_module = this;
  ComModule::instance().setIdleHandler(&CFrameworkModule::onModuleIdle, this);
}

CFrameworkModule::~CFrameworkModule() {
  ComModule::instance().setIdleHandler(nullptr, nullptr);
  m_shutdownMonitor.stop(true, INFINITE);
  g_module = nullptr;
}

CFrameworkModule* CFrameworkModule::instance() noexcept { return g_module; }

void CFrameworkModule::onModuleIdle(void* context) {
  auto* module = static_cast<CFrameworkModule*>(context);
  if (module->m_delayShutdown) {
    module->m_shutdownMonitor.notifyIdle();
  } else {
    ::PostThreadMessageW(module->m_mainThreadId, WM_QUIT, 0, 0);
  }
}

// ---------------------------------------------------------------------------
// Entry

int CFrameworkModule::run(const wchar_t* commandLine) {
  m_quit = false;
  firstPass(commandLine);

  m_instanceMutex.reset(::CreateMutexW(nullptr, TRUE, kMutexName));
  const DWORD error = ::GetLastError();
  if (error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED) {
    return handOff(m_quit);
  }

  if (m_quit) return 0;
  installCrashHandler();
  const int result = runModule(commandLine);
  deleteLaunchString();
  return result;
}

void CFrameworkModule::firstPass(const wchar_t* commandLine) {
  for (const CommandLine::Switch& option : CommandLine::switches(commandLine)) {
    switch (option.kind) {
      case CommandLine::SwitchKind::Quit:
        m_quit = true;
        break;
      case CommandLine::SwitchKind::Launch:
        storeLaunchString(option.argument);
        break;
      case CommandLine::SwitchKind::Hide:
        m_showCommand = SW_HIDE;
        break;
      case CommandLine::SwitchKind::NoSplash:
        m_skipSplash = true;
        break;
      case CommandLine::SwitchKind::Wait:
        waitForProcess(CommandLine::waitProcessId(option.argument));
        break;
    }
  }
}

void CFrameworkModule::storeLaunchString(const std::wstring& url) noexcept {
  // Only an installed program has the key; the URL is lost otherwise.
  RegKey key = openUserKey();
  if (!key) return;
  ::RegSetValueExW(key.get(), kLaunchStringValue, 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(url.c_str()),
                   static_cast<DWORD>((url.size() + 1) * sizeof(wchar_t)));
}

void CFrameworkModule::waitForProcess(DWORD processId) noexcept {
  if (processId == 0) return;
  KernelHandle process(::OpenProcess(SYNCHRONIZE, FALSE, processId));
  if (!process) return;
  ::WaitForSingleObject(process.get(), kWaitForProcessMs);
}

int CFrameworkModule::handOff(bool quit) noexcept {
  wchar_t name[kMaxProgramName + 1] = {};
  const DWORD length = ::GetModuleBaseNameW(::GetCurrentProcess(), nullptr, name, kMaxProgramName);
  name[length < kMaxProgramName ? length : kMaxProgramName] = L'\0';
  const HWND window =
      length ? m_systemHelper.FindProcessWindowByName(name, ::GetCurrentProcessId()) : nullptr;

  if (quit) {
    const HWND target = window ? window : publishedMainWindow();
    if (target) ::PostMessageW(target, WM_SYSCOMMAND, SC_CLOSE, 0);
    return kOtherInstance;
  }
  if (window) {
    bringToFront(window);
    return kOtherInstance;
  }
  // Hidden in the tray: no visible window to find, only the published one.
  const HWND published = publishedMainWindow();
  if (!published) return kOtherInstance;
  DWORD_PTR ignored = 0;
  ::SendMessageTimeoutW(published, RegisteredMessages::restoreFromTray(), 0, 0,
                        SMTO_NORMAL | SMTO_ABORTIFHUNG, kRestoreTimeoutMs, &ignored);
  bringToFront(published);
  return kOtherInstance;
}

void CFrameworkModule::deleteLaunchString() noexcept {
  RegKey key = openUserKey();
  if (key) ::RegDeleteValueW(key.get(), kLaunchStringValue);
}

// ---------------------------------------------------------------------------
// Module run

int CFrameworkModule::runModule(const wchar_t* commandLine) {
  if (!oleUsable(m_ole.result())) return kOleFailed;

  bool registered = false;
  const HRESULT registration = this->registration(commandLine, registered);
  if (registered) return static_cast<int>(registration);

  HRESULT hr;
  try {
    hr = preMessageLoop(commandLine);
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  }
  if (hr == S_OK) runMessageLoop();
  if (SUCCEEDED(hr)) shutDown();
  return static_cast<int>(hr);
}

HRESULT CFrameworkModule::registration(const wchar_t* commandLine, bool& done) noexcept {
  using Word = CommandLine::RegistrationWord;
  const Word word = CommandLine::registrationWord(commandLine ? commandLine : L"");
  done = word != Word::None;
  if (!done) return S_OK;
  try {
    const bool perUser = word == Word::RegServerPerUser || word == Word::UnregServerPerUser;
    ServerRegistration registration(ComModule::modulePath(), perUser);
    if (word == Word::RegServer || word == Word::RegServerPerUser) {
      return registration.registerServer();
    }
    return registration.unregisterServer();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CFrameworkModule::preMessageLoop(const wchar_t* commandLine) {
  // 1. The logging library's key, then the root logger.
  LoggerManager::setkey(kLoggingKey, static_cast<int>(kLoggingKeyLength));
  m_logger = LoggerManager::get(nullptr);

  // 2. What this process runs on, and how it was started.
  OSVERSIONINFOW version;
  if (!OperatingSystemTests::readVersion(version)) version = {};
  m_logger->info("CFrameworkModule: osver: %d.%d.%d %S (%d)",
                 static_cast<int>(version.dwMajorVersion), static_cast<int>(version.dwMinorVersion),
                 static_cast<int>(version.dwBuildNumber), version.szCSDVersion,
                 static_cast<int>(version.dwPlatformId));
  const bool vista = OperatingSystemTests::isVistaOrLater();
  m_logger->info("CFrameworkModule: vista(%d) uac(%d) admin(%d)", vista ? 1 : 0,
                 OperatingSystemTests::isAccountControlActive() ? 1 : 0,
                 OperatingSystemTests::isAdministrator() ? 1 : 0);
  m_logger->info("CFrameworkModule: cmdline: %S", commandLine ? commandLine : L"");

  // 3. Class objects for other processes and the delayed shut-down.
  HRESULT hr = registerClassObjects();
  if (hr == S_OK) {
    if (m_delayShutdown && !m_shutdownMonitor.start()) hr = E_FAIL;
  } else {
    m_delayShutdown = false;
  }
  if (FAILED(hr)) {
    m_logger->error("CFrameworkModule: PreMessageLoop: %s", StatusText(hr).c_str());
    return hr;
  }

  // 4. Browser settings.
  hr = initUserRegistry();
  if (FAILED(hr)) return hr;

  // 5. UI language.
  m_language = LanguageSelection::select(vista);
  m_logger->info("CFrameworkModule: language: %S", m_language.c_str());

  // 6, 7. The main window.
  hr = createMainWindow(InitialWindowRect::forDesktop());
  if (FAILED(hr)) return hr;

  // 8. Asked early at log-off, and never with a retry dialog.
  ::SetProcessShutdownParameters(0x3D0, SHUTDOWN_NORETRY);

  // 9, 10. The controller, wired to the main window.
  hr = createController();
  if (FAILED(hr)) return hr;

  // 11. Splash.
  if (m_skipSplash) {
    m_logger->debug("CFrameworkModule: skip splash window");
  } else {
    showSplashWindow();
  }

  // 12. Firewall; the result does not matter to the start.
  authorizeInFirewall();

  // 13-15. The root page.
  ComPtr<IFrameworkPlugin> ui;
  const std::wstring rootUrl = rootPageUrl(ui);
  m_mainWindow->Navigate(rootUrl.c_str());

  // 16. Show it.
  const HWND window = m_mainWindow->hwnd();
  m_logger->info("CFrameworkModule: display window %X as %d",
                 static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(window)), m_showCommand);
  CFrameworkWindow::setKeyWindow(m_mainWindow);
  ::ShowWindow(window, m_showCommand);
  CFrameworkWindow::setModuleInstance(m_instance);

  // 17. The controller keeps the service; this reference is not needed.
  ui.reset();
  return S_OK;
}

HRESULT CFrameworkModule::registerClassObjects() noexcept {
  try {
    return m_classObjects.registerAll(LocalServerClasses::classEntries(), CLSCTX_LOCAL_SERVER,
                                      REGCLS_MULTIPLEUSE);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CFrameworkModule::initUserRegistry() noexcept {
  {
    RegKey key = openUserKey();
    // Whatever was there goes; a failure here shows in the rewrite.
    if (key) ::RegDeleteTreeW(key.get(), L"browser");
  }
  HRESULT hr;
  try {
    hr = Registrar().write(kBrowserSettings);
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  }
  if (FAILED(hr)) {
    m_logger->error("CFrameworkModule: initUserRegistry: %s", StatusText(hr).c_str());
  }
  return hr;
}

HRESULT CFrameworkModule::createMainWindow(const RECT& rect) {
  auto window = std::make_unique<CFrameworkWindow>(nullptr);
  if (!window->Create(rect)) {
    m_logger->error("CFrameworkModule: fail to create main window");
    failureBox(IDS_FAIL_FIRST_WINDOW);
    return E_FAIL;
  }
  // From here on the window deletes itself when it is destroyed.
  m_mainWindow = window.release();
  return S_OK;
}

HRESULT CFrameworkModule::createController() {
  if (FAILED(CFrameworkController::create(m_controller)) || !m_controller) {
    m_controller.reset();
    m_logger->error("CFrameworkModule: fail to create controller");
    failureBox(IDS_FAIL_CONTROLLER);
    // Deleting the object destroys its window too.
    delete m_mainWindow;
    m_mainWindow = nullptr;
    return E_FAIL;
  }
  const Bstr locale(m_language);
  m_controller->put_Locale(locale.get());
  m_mainWindow->setController(m_controller.get());
  m_controller->setMainWindow(m_mainWindow);
  m_controller->init();
  return S_OK;
}

std::wstring CFrameworkModule::rootPageUrl(ComPtr<IFrameworkPlugin>& ui) {
  const Bstr uiName(L"UI");
  m_controller->LoadService(uiName.get(), ui.put());

  Bstr base;
  if (ui && FAILED(ui->get_PluginBaseUrl(base.put()))) base.reset();
  // Without a user interface the program's own pages are used: its
  // built-in page tells the user that nothing else is there.
  if (base.empty()) m_controller->get_BaseUrl(base.put());
  m_logger->info("CFrameworkModule: UI: %S", base.c_str());
  return base.str() + L"root.html";
}

void CFrameworkModule::runMessageLoop() noexcept {
  MSG msg;
  for (;;) {
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    ::TranslateMessage(&msg);
    if (msg.message >= WM_KEYDOWN && msg.message <= WM_UNICHAR) {
      // The window with the keyboard focus sees every key first, whichever
      // window it was posted to, so its page's accelerators work.
      CFrameworkWindow* keyWindow = CFrameworkWindow::keyWindow();
      if (keyWindow && ::IsWindow(keyWindow->hwnd())) {
        ::SendMessageW(keyWindow->hwnd(), msg.message, msg.wParam, msg.lParam);
      }
    }
    // Messages to windows that are gone, and thread messages, are dropped.
    if (msg.hwnd && ::IsWindow(msg.hwnd)) ::DispatchMessageW(&msg);
  }
}

void CFrameworkModule::shutDown() noexcept {
  if (m_controller) {
    m_controller->setMainWindow(nullptr);
    try {
      m_controller->destroy();
    } catch (const std::bad_alloc&) {
      m_logger->error("CFrameworkModule: shut-down: %s", StatusText(E_OUTOFMEMORY).c_str());
    }
    m_controller.reset();
  }
  m_classObjects.revokeAll();
  if (m_delayShutdown) ::Sleep(kPause);
}

void CFrameworkModule::failureBox(UINT stringId) const {
  const std::wstring text = ResourceStrings::load(m_instance, stringId);
  ::MessageBoxW(nullptr, text.c_str(), kCaption, MB_OK | MB_ICONERROR);
}

// ---------------------------------------------------------------------------
// Later parts of the start-up

void CFrameworkModule::installCrashHandler() noexcept {
  // The first instance only, before the module runs: a crash anywhere after
  // this point leaves a dump and starts the reporter.
  CrashDump::initCrashDump();
}

void CFrameworkModule::showSplashWindow() noexcept {
  // The splash window, showing "V" and the controller's ProductVersion,
  // starts here.
}

void CFrameworkModule::authorizeInFirewall() noexcept {
  // m_systemHelper puts the program on the firewall's list of authorised
  // applications here.
}
