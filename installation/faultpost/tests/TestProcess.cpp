#include "TestProcess.h"

#include <tlhelp32.h>

TestProcess::TestProcess(const std::wstring& program, const std::wstring& arguments) {
  m_commandLine = L"\"" + program + L"\"";
  if (!arguments.empty()) m_commandLine += L" " + arguments;
  std::wstring commandLine = m_commandLine;  // CreateProcessW may write to it
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

std::vector<DWORD> TestProcess::idsNamed(const wchar_t* fileName) {
  std::vector<DWORD> ids;
  const KernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return ids;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    if (::CompareStringOrdinal(entry.szExeFile, -1, fileName, -1, TRUE) == CSTR_EQUAL) {
      ids.push_back(entry.th32ProcessID);
    }
  }
  return ids;
}
