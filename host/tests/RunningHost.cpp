#include "RunningHost.h"

#include "RegistryReader.h"
#include "UniqueHandle.h"

#include <cstdint>

RunningHost::~RunningHost() {
  if (m_process) m_process->stop();
}

HWND RunningHost::publishedMainWindow() {
  const auto value = RegistryReader::number(HKEY_CURRENT_USER, kUserKey, L"hMainWin");
  return value ? reinterpret_cast<HWND>(static_cast<std::uintptr_t>(*value)) : nullptr;
}

bool RunningHost::instanceRunning() {
  KernelHandle mutex(::OpenMutexW(SYNCHRONIZE, FALSE, L"Global\\miRdexInstance"));
  return static_cast<bool>(mutex);
}

bool RunningHost::waitNoInstance(DWORD timeoutMs) {
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  while (instanceRunning()) {
    if (::GetTickCount64() > end) return false;
    ::Sleep(50);
  }
  return true;
}

bool RunningHost::start(const std::wstring& extraArguments, std::string& why) {
  if (instanceRunning()) {
    HostProcess::quitRunningInstance();
    if (!waitNoInstance(HostProcess::kLongWait)) {
      why = "an instance from before does not end";
      return false;
    }
  }
  RegistryReader::deleteValue(HKEY_CURRENT_USER, kUserKey, L"hMainWin");
  RegistryReader::deleteValue(HKEY_CURRENT_USER, kUserKey, L"LaunchString");

  std::wstring arguments = L"hide nosplash";
  if (!extraArguments.empty()) arguments += L" " + extraArguments;
  m_process = std::make_unique<HostProcess>(arguments);
  if (!m_process->started()) {
    why = "Mirdex.exe could not be started";
    return false;
  }

  const ULONGLONG end = ::GetTickCount64() + HostProcess::kLongWait;
  for (;;) {
    const HWND window = publishedMainWindow();
    DWORD owner = 0;
    if (window && ::IsWindow(window)) ::GetWindowThreadProcessId(window, &owner);
    if (owner == m_process->id()) {
      m_mainWindow = window;
      break;
    }
    if (!m_process->running()) {
      why = "Mirdex.exe ended with " + std::to_string(m_process->wait(0));
      return false;
    }
    if (::GetTickCount64() > end) {
      why = "no main window published";
      return false;
    }
    ::Sleep(50);
  }
  // Answered once the start-up is through and the message loop runs.
  DWORD_PTR ignored = 0;
  if (!::SendMessageTimeoutW(m_mainWindow, WM_NULL, 0, 0, SMTO_NORMAL, HostProcess::kLongWait,
                             &ignored)) {
    why = "the main window does not answer";
    return false;
  }
  // A page enables the window's input once it has loaded (the shell's
  // EnableInput); the built-in page shown without a "UI" service never
  // does. A disabled window ignores system commands, the quit switch's
  // SC_CLOSE among them, so the tests stand in for the page.
  ::EnableWindow(m_mainWindow, TRUE);
  return true;
}
