#include "TestProcess.h"

TestProcess::TestProcess(const std::wstring& program, const std::wstring& arguments) {
  std::wstring commandLine = L"\"" + program + L"\"";
  if (!arguments.empty()) commandLine += L" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  m_startTick = ::GetTickCount64();
  if (::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       nullptr, &startup, &info)) {
    m_process.reset(info.hProcess);
    KernelHandle thread(info.hThread);
    m_id = info.dwProcessId;
    m_mainThreadId = info.dwThreadId;
  }
}

TestProcess::~TestProcess() { terminate(); }

DWORD TestProcess::wait(DWORD timeoutMs) const noexcept {
  if (!m_process) return STILL_ACTIVE;
  if (::WaitForSingleObject(m_process.get(), timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
  DWORD code = STILL_ACTIVE;
  ::GetExitCodeProcess(m_process.get(), &code);
  return code;
}

bool TestProcess::running() const noexcept {
  return m_process && ::WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT;
}

void TestProcess::terminate() noexcept {
  if (!running()) return;
  ::TerminateProcess(m_process.get(), 0xDEAD);
  ::WaitForSingleObject(m_process.get(), kLongWait);
}
