#include "HostProcess.h"

#include "BuildPath.h"

HostProcess::HostProcess(const std::wstring& arguments) : m_process(programPath(), arguments) {}

HostProcess::~HostProcess() { stop(); }

void HostProcess::stop() noexcept {
  if (!running()) return;
  quitRunningInstance();
  if (wait(30000) != STILL_ACTIVE) return;
  m_process.terminate();
}

DWORD HostProcess::quitRunningInstance() noexcept {
  try {
    // Ended by force when it does not end in time.
    const TestProcess quit(programPath(), L"quit");
    return quit.wait(kLongWait);
  } catch (...) {
    return STILL_ACTIVE;
  }
}

std::wstring HostProcess::programPath() { return BuildPath::windows(MIRDEX_EXE_PATH); }
