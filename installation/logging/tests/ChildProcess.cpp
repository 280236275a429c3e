#include "ChildProcess.h"

#include <atomic>
#include <cwctype>
#include <memory>

namespace {

struct EnvironmentStringsDeleter {
  void operator()(wchar_t* block) const noexcept { ::FreeEnvironmentStringsW(block); }
};

bool sameName(const std::wstring& entry, const std::wstring& name) {
  if (entry.size() <= name.size() || entry[name.size()] != L'=') return false;
  return ::CompareStringOrdinal(entry.c_str(), static_cast<int>(name.size()), name.c_str(),
                                static_cast<int>(name.size()), TRUE) == CSTR_EQUAL;
}

std::wstring environmentBlock(const ChildProcess::Environment& overrides) {
  std::unique_ptr<wchar_t, EnvironmentStringsDeleter> current(::GetEnvironmentStringsW());
  std::wstring block;
  for (const wchar_t* entry = current.get(); entry && *entry; entry += std::wcslen(entry) + 1) {
    const std::wstring text = entry;
    bool replaced = false;
    for (const auto& [name, value] : overrides) replaced = replaced || sameName(text, name);
    if (!replaced) block.append(text).push_back(L'\0');
  }
  for (const auto& [name, value] : overrides) block.append(name + L"=" + value).push_back(L'\0');
  block.push_back(L'\0');
  return block;
}

}  // namespace

std::wstring ChildProcess::writerPath() {
  wchar_t module[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, module, MAX_PATH);
  std::wstring path(module, length);
  return path.substr(0, path.find_last_of(L"\\/") + 1) + L"logging_test_writer.exe";
}

ChildProcess::ChildProcess(const std::wstring& arguments, const Environment& environment) {
  const std::wstring exe = writerPath();
  std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
  std::wstring block = environmentBlock(environment);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                       block.data(), nullptr, &startup, &info)) {
    m_process.reset(info.hProcess);
    KernelHandle thread(info.hThread);
  }
}

DWORD ChildProcess::wait(DWORD timeoutMs) {
  if (!m_process || ::WaitForSingleObject(m_process.get(), timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
  DWORD code = STILL_ACTIVE;
  ::GetExitCodeProcess(m_process.get(), &code);
  return code;
}

StartGate::StartGate() {
  static std::atomic<unsigned> counter{0};
  m_name = L"Local\\MirdexLoggingTestStart." + std::to_wstring(::GetCurrentProcessId()) + L"." +
           std::to_wstring(counter++);
  m_event.reset(::CreateEventW(nullptr, TRUE, FALSE, m_name.c_str()));
}
