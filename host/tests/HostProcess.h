#pragma once
// Mirdex.exe started by a test as a process of its own. A host still
// running when the object goes is ended: first as a user would end it (a
// start with the quit switch), then by force.
#include "UniqueHandle.h"

#include <windows.h>

#include <string>

class HostProcess {
public:
  // Generous: Wine starts processes slowly on a busy machine.
  static constexpr DWORD kLongWait = 60000;

  // Starts the program with the arguments (a command-line tail, quoted by
  // the caller where needed).
  explicit HostProcess(const std::wstring& arguments);
  ~HostProcess();
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;

  bool started() const noexcept { return static_cast<bool>(m_process); }
  DWORD id() const noexcept { return m_id; }
  HANDLE handle() const noexcept { return m_process.get(); }
  const std::wstring& commandLine() const noexcept { return m_commandLine; }

  // The exit code, or STILL_ACTIVE when the process has not ended in time.
  DWORD wait(DWORD timeoutMs = kLongWait) const noexcept;
  bool running() const noexcept;

  // Ends a running host: the quit switch, then force.
  void stop() noexcept;

  // Mirdex.exe of the build, as a Windows path.
  static std::wstring programPath();
  // Another start with the quit switch, awaited.
  static DWORD quitRunningInstance() noexcept;

private:
  KernelHandle m_process;
  DWORD m_id = 0;
  std::wstring m_commandLine;
};
