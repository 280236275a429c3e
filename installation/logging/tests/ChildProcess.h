#pragma once
// The tests' second program (logging_test_writer.exe, beside the test
// program), started with arguments and environment variables of its own.
#include "UniqueHandle.h"

#include <string>
#include <utility>
#include <vector>

class ChildProcess {
public:
  using Environment = std::vector<std::pair<std::wstring, std::wstring>>;

  // Starts the writer; `environment` replaces or adds variables of this
  // process's environment for the child only.
  ChildProcess(const std::wstring& arguments, const Environment& environment = {});

  bool started() const { return static_cast<bool>(m_process); }
  // The exit code, or STILL_ACTIVE when the child has not ended in time.
  DWORD wait(DWORD timeoutMs = 120000);

  static std::wstring writerPath();

private:
  KernelHandle m_process;
};

// A named manual-reset event that lets the children start writing together.
class StartGate {
public:
  StartGate();
  const std::wstring& name() const { return m_name; }
  void open() { ::SetEvent(m_event.get()); }

private:
  std::wstring m_name;
  KernelHandle m_event;
};
