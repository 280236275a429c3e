#pragma once
// A first instance of Mirdex.exe for the tests that need one running: no
// other instance before it, started hidden and without splash, and ready
// once its main window is published and its message loop answers. Its
// main window's input is enabled as a loaded page would enable it.
#include "HostProcess.h"

#include <memory>
#include <string>

class RunningHost {
public:
  RunningHost() = default;
  ~RunningHost();

  // Ends any instance left over, clears "hMainWin" and "LaunchString",
  // then starts the first instance with "hide nosplash" and the extra
  // arguments. False (with the reason) when it did not become ready.
  bool start(const std::wstring& extraArguments, std::string& why);

  HostProcess& process() { return *m_process; }
  HWND mainWindow() const noexcept { return m_mainWindow; }

  // The "hMainWin" value, or null.
  static HWND publishedMainWindow();
  // Whether an instance holds the instance mutex.
  static bool instanceRunning();
  // Waits until no instance holds the mutex; false on time-out.
  static bool waitNoInstance(DWORD timeoutMs);

  static constexpr const wchar_t* kUserKey = L"Software\\Mirdex";

private:
  std::unique_ptr<HostProcess> m_process;
  HWND m_mainWindow = nullptr;
};
