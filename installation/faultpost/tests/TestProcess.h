#pragma once
// A program started by a test, ended by force if it still runs when the
// object goes.
#include "UniqueHandle.h"

#include <windows.h>

#include <string>
#include <vector>

class TestProcess {
public:
  // Generous: Wine starts processes and writes dumps slowly on a busy machine.
  static constexpr DWORD kLongWait = 60000;

  // Starts `program` with the arguments (a command-line tail quoted by the
  // caller); the program's path is quoted here.
  TestProcess(const std::wstring& program, const std::wstring& arguments);
  ~TestProcess();
  TestProcess(const TestProcess&) = delete;
  TestProcess& operator=(const TestProcess&) = delete;

  bool started() const noexcept { return static_cast<bool>(m_process); }
  HANDLE handle() const noexcept { return m_process.get(); }
  DWORD id() const noexcept { return m_id; }
  DWORD mainThreadId() const noexcept { return m_mainThreadId; }
  ULONGLONG startTick() const noexcept { return m_startTick; }
  // The command line it was started with.
  const std::wstring& commandLine() const noexcept { return m_commandLine; }

  // The exit code, or STILL_ACTIVE when the process has not ended in time.
  DWORD wait(DWORD timeoutMs = kLongWait) const noexcept;
  bool running() const noexcept;
  void terminate() noexcept;

  // The ids of the running processes whose program file has this name.
  static std::vector<DWORD> idsNamed(const wchar_t* fileName);

private:
  std::wstring m_commandLine;
  KernelHandle m_process;
  DWORD m_id = 0;
  DWORD m_mainThreadId = 0;
  ULONGLONG m_startTick = 0;
};
