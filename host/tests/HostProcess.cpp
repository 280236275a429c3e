#include "HostProcess.h"

HostProcess::HostProcess(const std::wstring& arguments) {
  m_commandLine = L"\"" + programPath() + L"\"";
  if (!arguments.empty()) m_commandLine += L" " + arguments;
  std::wstring mutableLine = m_commandLine;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (::CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &info)) {
    m_process.reset(info.hProcess);
    KernelHandle thread(info.hThread);
    m_id = info.dwProcessId;
  }
}

HostProcess::~HostProcess() { stop(); }

DWORD HostProcess::wait(DWORD timeoutMs) const noexcept {
  if (!m_process) return STILL_ACTIVE;
  if (::WaitForSingleObject(m_process.get(), timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
  DWORD code = STILL_ACTIVE;
  ::GetExitCodeProcess(m_process.get(), &code);
  return code;
}

bool HostProcess::running() const noexcept {
  return m_process && ::WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT;
}

void HostProcess::stop() noexcept {
  if (!running()) return;
  quitRunningInstance();
  if (wait(30000) != STILL_ACTIVE) return;
  ::TerminateProcess(m_process.get(), 0xDEAD);
  wait(30000);
}

DWORD HostProcess::quitRunningInstance() noexcept {
  try {
    std::wstring line = L"\"" + programPath() + L"\" quit";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info)) {
      return STILL_ACTIVE;
    }
    KernelHandle process(info.hProcess);
    KernelHandle thread(info.hThread);
    DWORD code = STILL_ACTIVE;
    if (::WaitForSingleObject(process.get(), kLongWait) == WAIT_OBJECT_0) {
      ::GetExitCodeProcess(process.get(), &code);
    } else {
      ::TerminateProcess(process.get(), 0xDEAD);
    }
    return code;
  } catch (...) {
    return STILL_ACTIVE;
  }
}

std::wstring HostProcess::programPath() {
  // The build gives the path as the build machine sees it; under Wine a
  // path from the file-system root is drive Z:.
  std::wstring path = L"" MIRDEX_EXE_PATH;
  if (!path.empty() && path.front() == L'/') path.insert(0, L"Z:");
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}
