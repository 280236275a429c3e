#pragma once
// The host process: single instance, registration, start-up, message loop
// and shut-down of Mirdex.exe, which is also a local automation server.
//
// One object per process, made by the program's entry function and alive
// until it returns. Constructing it initialises OLE for the main thread (a
// single-threaded apartment); run() does everything else:
//   first command-line pass -> instance mutex -> hand-off to a running
//   instance, or: second pass (registration) / PreMessageLoop -> message
//   loop -> shut-down -> "LaunchString" deleted.
#include "CFrameworkController.h"
#include "CSystemHelper.h"
#include "ClassObjectRegistration.h"
#include "ComApartment.h"
#include "ShutdownMonitor.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <atomic>
#include <string>

class CFrameworkWindow;
class Logger;

class CFrameworkModule {
public:
  // The automation-server module's figures.
  static constexpr DWORD kTimeOut = 5000;  // ms at lock count 0 before quitting
  static constexpr DWORD kPause = 1000;    // ms after revoking the class objects
  // Exit code of every start that found an instance running.
  static constexpr int kOtherInstance = 1;
  // Exit code when OLE could not be initialised.
  static constexpr int kOleFailed = -1;

  // instance: the program's module handle; showCommand: the show command
  // the program was started with.
  CFrameworkModule(HINSTANCE instance, int showCommand) noexcept;
  ~CFrameworkModule();
  CFrameworkModule(const CFrameworkModule&) = delete;
  CFrameworkModule& operator=(const CFrameworkModule&) = delete;

  // The program's whole run for a command line (program path first); the
  // result is the exit code.
  int run(const wchar_t* commandLine);

  // The module of this process while it exists, else null.
  static CFrameworkModule* instance() noexcept;

  HINSTANCE moduleInstance() const noexcept { return m_instance; }
  CFrameworkWindow* mainWindow() const noexcept { return m_mainWindow; }
  IFrameworkController* controller() const noexcept { return m_controller.get(); }

private:
  // Entry steps and the hand-off.
  void firstPass(const wchar_t* commandLine);
  static void storeLaunchString(const std::wstring& url) noexcept;
  static void waitForProcess(DWORD processId) noexcept;
  int handOff(bool quit) noexcept;
  static void deleteLaunchString() noexcept;

  // Module run.
  int runModule(const wchar_t* commandLine);
  HRESULT registration(const wchar_t* commandLine, bool& done) noexcept;
  HRESULT preMessageLoop(const wchar_t* commandLine);
  HRESULT registerClassObjects() noexcept;
  HRESULT initUserRegistry() noexcept;
  HRESULT createMainWindow(const RECT& rect);
  HRESULT createController();
  // The root page's URL; ui receives the "UI" service, if there is one.
  std::wstring rootPageUrl(ComPtr<IFrameworkPlugin>& ui);
  void runMessageLoop() noexcept;
  void shutDown() noexcept;
  void failureBox(UINT stringId) const;

  // Work of later parts of the start-up, at the places where it happens.
  void installCrashHandler() noexcept;
  void showSplashWindow() noexcept;
  void authorizeInFirewall() noexcept;

  static void onModuleIdle(void* context);

  HINSTANCE m_instance;
  int m_showCommand;
  bool m_quit = false;
  bool m_skipSplash = false;
  // Read by the idle handler on whichever thread let go of the last object.
  std::atomic<bool> m_delayShutdown{true};
  const DWORD m_mainThreadId;
  Logger* m_logger = nullptr;
  std::wstring m_language;

  ComApartment m_ole;
  ShutdownMonitor m_shutdownMonitor;
  ClassObjectRegistration m_classObjects;
  KernelHandle m_instanceMutex;
  // The start-up's operating-system help: the running instance's window,
  // the firewall entry.
  CSystemHelper m_systemHelper;

  // Deletes itself when its window is gone (see CFrameworkWindow).
  CFrameworkWindow* m_mainWindow = nullptr;
  CFrameworkController::Ptr m_controller;
};
