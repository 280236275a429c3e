#pragma once
// Mirdex.exe started by a test as a process of its own. A host still
// running when the object goes is ended: first as a user would end it (a
// start with the quit switch), then by force.
#include "TestProcess.h"

#include <windows.h>

#include <string>

class HostProcess {
public:
  static constexpr DWORD kLongWait = TestProcess::kLongWait;

  // Starts the program with the arguments (a command-line tail, quoted by
  // the caller where needed).
  explicit HostProcess(const std::wstring& arguments);
  ~HostProcess();
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;

  bool started() const noexcept { return m_process.started(); }
  DWORD id() const noexcept { return m_process.id(); }
  HANDLE handle() const noexcept { return m_process.handle(); }
  const std::wstring& commandLine() const noexcept { return m_process.commandLine(); }

  // The exit code, or STILL_ACTIVE when the process has not ended in time.
  DWORD wait(DWORD timeoutMs = kLongWait) const noexcept { return m_process.wait(timeoutMs); }
  bool running() const noexcept { return m_process.running(); }

  // Ends a running host: the quit switch, then force.
  void stop() noexcept;

  // Mirdex.exe of the build, as a Windows path.
  static std::wstring programPath();
  // Another start with the quit switch, awaited.
  static DWORD quitRunningInstance() noexcept;

private:
  TestProcess m_process;
};
