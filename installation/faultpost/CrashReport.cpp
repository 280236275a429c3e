#include "CrashReport.h"

#include "UniqueHandle.h"

#include <cstdio>
#include <string>

namespace {

constexpr const wchar_t* kEndOfLine = L"\r\n";

struct CodeName {
  DWORD code;
  const wchar_t* name;
};

constexpr CodeName kExceptionNames[] = {
    {0xC0000005, L"access violation"},
    {0xC0000006, L"in-page error"},
    {0xC0000008, L"invalid handle"},
    {0xC000001D, L"illegal instruction"},
    {0xC0000025, L"non-continuable exception"},
    {0xC0000026, L"invalid exception disposition"},
    {0xC000008C, L"array bounds exceeded"},
    {0xC000008D, L"floating-point denormal operand"},
    {0xC000008E, L"floating-point division by zero"},
    {0xC000008F, L"floating-point inexact result"},
    {0xC0000090, L"floating-point invalid operation"},
    {0xC0000091, L"floating-point overflow"},
    {0xC0000092, L"floating-point stack check"},
    {0xC0000093, L"floating-point underflow"},
    {0xC0000094, L"integer division by zero"},
    {0xC0000095, L"integer overflow"},
    {0xC0000096, L"privileged instruction"},
    {0xC00000FD, L"stack overflow"},
    {0xC0000374, L"heap corruption"},
    {0xC0000409, L"stack buffer overrun"},
    {0x80000001, L"guard page violation"},
    {0x80000002, L"datatype misalignment"},
    {0x80000003, L"breakpoint"},
    {0x80000004, L"single step"},
    {0xE06D7363, L"C++ exception"},
};

std::wstring decimal(std::uint64_t value) { return std::to_wstring(value); }

std::wstring timeText(const SYSTEMTIME& time) {
  wchar_t text[32];
  std::swprintf(text, 32, L"%04u-%02u-%02u %02u:%02u:%02u", static_cast<unsigned>(time.wYear),
                static_cast<unsigned>(time.wMonth), static_cast<unsigned>(time.wDay),
                static_cast<unsigned>(time.wHour), static_cast<unsigned>(time.wMinute),
                static_cast<unsigned>(time.wSecond));
  return text;
}

// Seconds since 1970 as a calendar time, UTC.
std::wstring unixTimeText(DWORD seconds) {
  constexpr std::uint64_t kEpochDifference = 11644473600ULL;  // 1601 to 1970
  const std::uint64_t ticks = (seconds + kEpochDifference) * 10000000ULL;
  FILETIME file{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME time{};
  if (!::FileTimeToSystemTime(&file, &time)) return decimal(seconds);
  return timeText(time) + L" UTC";
}

std::wstring architectureName(WORD architecture) {
  switch (architecture) {
    case PROCESSOR_ARCHITECTURE_INTEL: return L"x86";
    case PROCESSOR_ARCHITECTURE_ARM: return L"ARM";
    case PROCESSOR_ARCHITECTURE_IA64: return L"IA-64";
    case PROCESSOR_ARCHITECTURE_AMD64: return L"x64";
    case 12: return L"ARM64";  // PROCESSOR_ARCHITECTURE_ARM64
    default: return L"architecture " + decimal(architecture);
  }
}

std::wstring productTypeName(BYTE productType) {
  switch (productType) {
    case VER_NT_WORKSTATION: return L"workstation";
    case VER_NT_DOMAIN_CONTROLLER: return L"domain controller";
    case VER_NT_SERVER: return L"server";
    default: return L"product type " + decimal(productType);
  }
}

std::wstring tagMeaning(const std::wstring& tag) {
  if (tag == L"except") return L"the program stopped on an exception nothing else handled";
  if (tag == L"memuse") return L"the program's working set grew past its limit";
  return L"a dump written on request";
}

}  // namespace

CrashReport::CrashReport(const ReporterArguments& arguments) : m_tag(arguments.tag()) {
  m_text = L"Mirdex problem report";
  m_text += kEndOfLine;
  m_text += L"=====================";
  m_text += kEndOfLine;
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  line(L"Report written", timeText(now) + L" (local time)");
  line(L"Reason", arguments.tag() + L" (" + tagMeaning(arguments.tag()) + L")");
  line(L"Dump file", arguments.dumpPath());
  line(L"Command line", arguments.commandLine());
}

std::wstring CrashReport::hex(std::uint64_t value, int digits) {
  wchar_t text[32];
  std::swprintf(text, 32, L"0x%0*llX", digits, static_cast<unsigned long long>(value));
  return text;
}

std::wstring CrashReport::exceptionName(DWORD code) {
  for (const CodeName& entry : kExceptionNames) {
    if (entry.code == code) return entry.name;
  }
  return {};
}

void CrashReport::heading(const wchar_t* title) {
  m_text += kEndOfLine;
  m_text += title;
  m_text += kEndOfLine;
}

void CrashReport::line(const std::wstring& label, const std::wstring& value) {
  m_text += label;
  m_text += L": ";
  m_text += value;
  m_text += kEndOfLine;
}

void CrashReport::describeUnreadable(const std::wstring& reason) {
  heading(L"Dump");
  line(L"Status", L"The dump file could not be read: " + reason + L".");
  m_summary = L"the dump file could not be read (" + reason + L")";
}

bool CrashReport::describe(const MinidumpFile& dump) {
  bool complete = true;
  heading(L"Dump");
  line(L"Size", decimal(dump.fileSize()) + L" bytes");
  line(L"Written", unixTimeText(dump.timeDateStamp()));

  std::vector<MinidumpFile::Module> modules;
  const MinidumpFile::Lookup moduleLookup = dump.modules(modules);
  complete = complete && moduleLookup != MinidumpFile::Lookup::Damaged;

  heading(L"Exception");
  MinidumpFile::Exception exception;
  DWORD faultingThread = 0;
  switch (dump.exception(exception)) {
    case MinidumpFile::Lookup::Found:
      faultingThread = exception.threadId;
      describeException(exception, modules, moduleLookup == MinidumpFile::Lookup::Found);
      break;
    case MinidumpFile::Lookup::Missing:
      line(L"Status", L"none recorded (the dump was not written for an exception)");
      m_summary = m_tag == L"memuse" ? L"high memory usage" : L"a dump on request";
      break;
    case MinidumpFile::Lookup::Damaged:
      line(L"Status", L"the exception record is damaged");
      m_summary = L"an exception (its record in the dump is damaged)";
      complete = false;
      break;
  }

  complete = describeThreads(dump, faultingThread) && complete;

  heading(L"Modules");
  switch (moduleLookup) {
    case MinidumpFile::Lookup::Found: describeModules(modules); break;
    case MinidumpFile::Lookup::Missing: line(L"Status", L"not recorded"); break;
    case MinidumpFile::Lookup::Damaged: line(L"Status", L"the module list is damaged"); break;
  }

  complete = describeSystem(dump) && complete;
  if (!complete) {
    heading(L"Dump status");
    line(L"Status", L"The dump file could not be read completely: parts of it are damaged.");
  }
  return complete;
}

void CrashReport::describeException(const MinidumpFile::Exception& exception,
                                    const std::vector<MinidumpFile::Module>& modules,
                                    bool modulesKnown) {
  const std::wstring name = exceptionName(exception.code);
  const std::wstring code = hex(exception.code, 8) + (name.empty() ? L"" : L" (" + name + L")");
  line(L"Code", code);
  line(L"Flags", hex(exception.flags, 8));
  line(L"Address", hex(exception.address, 16));

  std::wstring where;
  if (const MinidumpFile::Module* module = MinidumpFile::moduleAt(modules, exception.address)) {
    line(L"Faulting module",
         module->name() + L" + " + hex(exception.address - module->base, 0) + L" (" +
             module->path + L")");
    where = L" in " + module->name();
  } else {
    line(L"Faulting module", modulesKnown ? L"none: no module holds the address" : L"unknown");
    where = L" at " + hex(exception.address, 16);
  }
  line(L"Faulting thread", decimal(exception.threadId));

  // An access violation tells what was done at which address.
  if ((exception.code == 0xC0000005 || exception.code == 0xC0000006) &&
      exception.parameters.size() >= 2) {
    const std::uint64_t operation = exception.parameters[0];
    const wchar_t* verb = operation == 0 ? L"read from" : operation == 1 ? L"write to"
                        : operation == 8                 ? L"execute at"
                                                         : L"access to";
    line(L"Detail", std::wstring(verb) + L" address " + hex(exception.parameters[1], 16));
  }
  for (std::size_t i = 0; i < exception.parameters.size(); ++i) {
    line(L"Parameter " + decimal(i), hex(exception.parameters[i], 16));
  }
  m_summary = L"exception " + code + where;
}

bool CrashReport::describeThreads(const MinidumpFile& dump, DWORD faultingThread) {
  heading(L"Threads");
  std::vector<MinidumpFile::Thread> threads;
  switch (dump.threads(threads)) {
    case MinidumpFile::Lookup::Missing:
      line(L"Status", L"not recorded");
      return true;
    case MinidumpFile::Lookup::Damaged:
      line(L"Status", L"the thread list is damaged");
      return false;
    case MinidumpFile::Lookup::Found:
      break;
  }
  line(L"Count", decimal(threads.size()));
  for (const MinidumpFile::Thread& thread : threads) {
    std::wstring value = decimal(thread.id) + L", TEB " + hex(thread.teb, 16);
    if (faultingThread != 0 && thread.id == faultingThread) value += L" (faulting thread)";
    line(L"Thread", value);
  }
  return true;
}

void CrashReport::describeModules(const std::vector<MinidumpFile::Module>& modules) {
  line(L"Count", decimal(modules.size()));
  for (const MinidumpFile::Module& module : modules) {
    std::wstring value = hex(module.base, 16) + L" size " + hex(module.size, 8);
    if (module.version) {
      const auto& v = *module.version;
      value += L" version " + decimal(v[0]) + L"." + decimal(v[1]) + L"." + decimal(v[2]) + L"." +
               decimal(v[3]);
    }
    line(L"Module", value + L" " + module.path);
  }
}

bool CrashReport::describeSystem(const MinidumpFile& dump) {
  heading(L"System");
  MinidumpFile::SystemInfo info;
  switch (dump.systemInfo(info)) {
    case MinidumpFile::Lookup::Missing:
      line(L"Status", L"not recorded");
      return true;
    case MinidumpFile::Lookup::Damaged:
      line(L"Status", L"the system information is damaged");
      return false;
    case MinidumpFile::Lookup::Found:
      break;
  }
  std::wstring os = L"Windows " + decimal(info.majorVersion) + L"." + decimal(info.minorVersion) +
                    L" build " + decimal(info.buildNumber);
  if (!info.servicePack.empty()) os += L" " + info.servicePack;
  os += L" (" + productTypeName(info.productType) + L")";
  line(L"Operating system", os);
  line(L"Processor", architectureName(info.processorArchitecture) + L", level " +
                         decimal(info.processorLevel) + L", revision " +
                         hex(info.processorRevision, 4) + L", " + decimal(info.processorCount) +
                         L" processors");
  return true;
}

bool CrashReport::save(const std::wstring& path) const {
  std::string utf8;
  if (!m_text.empty()) {
    const int length = static_cast<int>(m_text.size());
    const int needed =
        ::WideCharToMultiByte(CP_UTF8, 0, m_text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return false;
    utf8.resize(static_cast<std::size_t>(needed));
    ::WideCharToMultiByte(CP_UTF8, 0, m_text.data(), length, utf8.data(), needed, nullptr,
                          nullptr);
  }
  KernelHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return ::WriteFile(file.get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr) &&
         written == utf8.size();
}
