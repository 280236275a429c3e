#include "CrashDump.h"

#include "MemoryWatch.h"
#include "UniqueHandle.h"

#include <dbghelp.h>
#include <psapi.h>
#include <shlobj.h>

#include <cwchar>

namespace {

constexpr const wchar_t* kExceptionMessage =
    L"An exception error occurred!\n\n"
    L"Please report to miRdex together with following info:\n"
    L"  1) miRdex version; and\n"
    L"  2) Dump file (*.dmp); and\n"
    L"  3) Log files (*.log*).\n\n"
    L"They can be located either in miRdex installation directory\n"
    L"or your hard disk root directory.\n\n";

constexpr const wchar_t* kMemoryMessage =
    L"High memory usage is detected!\n\nA dump is created at:\n%ls\n\n";

constexpr const wchar_t* kLogsSubFolder = L"Mirdex\\logs";

// The one memory monitor of the process. It lives as long as the process:
// a tick already on its way when the timer is deleted may still look at it.
constinit MemoryWatch g_memoryWatch;

// Appends text at offset `length` of a buffer of `capacity` characters
// (terminator included); false, with the buffer unchanged, when it does
// not fit.
bool appendText(wchar_t* buffer, std::size_t capacity, std::size_t length,
                const wchar_t* text) noexcept {
  const std::size_t add = std::wcslen(text);
  if (length + add + 1 > capacity) return false;
  std::wmemcpy(buffer + length, text, add + 1);
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Installation

void CrashDump::initCrashDump() noexcept {
  ::SetUnhandledExceptionFilter(&CrashDump::exceptionFilter);

  const std::uint64_t threshold =
      memoryThreshold(readSetting(HKEY_CURRENT_USER, kSettingsKey, kMemoryValue, kDefaultMemory));
  if (threshold == 0) return;
  if (!g_memoryWatch.arm(threshold)) return;
  startMemoryMonitor(g_memoryWatch);
}

void CrashDump::startMemoryMonitor(MemoryWatch& watch) noexcept {
  // The default timer queue and flags: the ticks run on the system's pool.
  HANDLE timer = nullptr;
  if (::CreateTimerQueueTimer(&timer, nullptr, &CrashDump::memoryMonitor, &watch,
                              kMonitorPeriodMs, kMonitorPeriodMs, WT_EXECUTEDEFAULT)) {
    watch.setTimer(timer);
  }
}

DWORD CrashDump::readSetting(HKEY root, const wchar_t* subKey, const wchar_t* name,
                             DWORD defaultValue) noexcept {
  RegKey key;
  if (::RegOpenKeyExW(root, subKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
    return defaultValue;
  }
  DWORD type = 0;
  DWORD value = 0;
  DWORD size = sizeof(value);
  if (::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof(value)) {
    return defaultValue;
  }
  return value;
}

std::uint64_t CrashDump::memoryThreshold(DWORD setting) noexcept {
  constexpr std::uint64_t kMillion = 1000000;
  if (setting == 1) setting = kDefaultMemory;
  return static_cast<std::uint64_t>(setting) * kMillion;
}

// ---------------------------------------------------------------------------
// The platform's call-backs

LONG WINAPI CrashDump::exceptionFilter(EXCEPTION_POINTERS* exception) noexcept {
  const int result =
      writeDumpAndReport(kExceptionTag, static_cast<long>(::GetCurrentThreadId()), exception);
  if (result == kReporterNotStarted) showMessage(kExceptionMessage);
  return result == kDumpNotWritten ? EXCEPTION_CONTINUE_SEARCH : EXCEPTION_EXECUTE_HANDLER;
}

void CALLBACK CrashDump::memoryMonitor(PVOID context, BOOLEAN) noexcept {
  auto& watch = *static_cast<MemoryWatch*>(context);
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters))) return;
  if (!watch.claim(counters.WorkingSetSize)) return;

  // Deleted before the slow dump, and without waiting: this tick is one of
  // the call-backs a waiting delete would wait for.
  ::DeleteTimerQueueTimer(nullptr, watch.timer(), nullptr);

  DumpName dumpName;
  const long megabytes = static_cast<long>(counters.WorkingSetSize / 1000000);
  if (dumpAndReport(kMemoryTag, megabytes, nullptr, dumpName) == kReporterNotStarted) {
    wchar_t text[kMaxMessage + 1];
    _snwprintf_s(text, kMaxMessage + 1, _TRUNCATE, kMemoryMessage, dumpName);
    showMessage(text);
  }
}

void CrashDump::showMessage(const wchar_t* text) noexcept {
  ::MessageBoxW(nullptr, text, kMessageCaption,
                MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND | MB_TOPMOST);
}

// ---------------------------------------------------------------------------
// Dump and report

int CrashDump::writeDumpAndReport(const wchar_t* tag, long number,
                                  EXCEPTION_POINTERS* exception) noexcept {
  DumpName dumpName;
  return dumpAndReport(tag, number, exception, dumpName);
}

int CrashDump::dumpAndReport(const wchar_t* tag, long number, EXCEPTION_POINTERS* exception,
                             DumpName& dumpName) noexcept {
  Folder folder;
  logsFolder(folder);
  wchar_t program[MAX_PATH];
  programBaseName(program);
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  formatDumpName(dumpName, folder, program, now, tag, number);

  if (!writeMiniDump(dumpName, exception)) return kDumpNotWritten;

  CommandLine commandLine;
  formatCommandLine(commandLine, tag, dumpName);
  return startReporter(commandLine) ? kReporterStarted : kReporterNotStarted;
}

void CrashDump::logsFolder(Folder& folder) noexcept {
  folder[0] = L'\0';
  if (FAILED(::SHGetFolderPathAndSubDirW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE,
                                         nullptr, SHGFP_TYPE_CURRENT, kLogsSubFolder, folder))) {
    folder[0] = L'\0';
    return;
  }
  const std::size_t length = std::wcslen(folder);
  // The buffer has one character more than the platform may fill.
  if (length > 0 && folder[length - 1] != L'\\') appendText(folder, MAX_PATH + 1, length, L"\\");
}

void CrashDump::programBaseName(wchar_t (&name)[MAX_PATH]) noexcept {
  const DWORD length = ::GetModuleBaseNameW(::GetCurrentProcess(), nullptr, name, MAX_PATH);
  name[length < MAX_PATH ? length : MAX_PATH - 1] = L'\0';
  if (wchar_t* dot = std::wcsrchr(name, L'.')) *dot = L'\0';
}

void CrashDump::formatDumpName(DumpName& name, const wchar_t* folder, const wchar_t* program,
                               const SYSTEMTIME& time, const wchar_t* tag, long number) noexcept {
  // %ls: a wide text whether the C library reads %s as wide or as narrow.
  _snwprintf_s(name, kMaxDumpName + 1, _TRUNCATE,
               L"%ls%ls-%04d%02d%02d-%02d%02d%02d-%03d-%ls-%ld.dmp", folder, program,
               static_cast<int>(time.wYear), static_cast<int>(time.wMonth),
               static_cast<int>(time.wDay), static_cast<int>(time.wHour),
               static_cast<int>(time.wMinute), static_cast<int>(time.wSecond),
               static_cast<int>(time.wMilliseconds), tag, number);
}

void CrashDump::formatCommandLine(CommandLine& line, const wchar_t* tag,
                                  const wchar_t* dumpName) noexcept {
  _snwprintf_s(line, kMaxCommandLine + 1, _TRUNCATE, L"%ls %ls \"%ls\"", kReporterName, tag,
               dumpName);
}

bool CrashDump::reporterPath(ReporterPath& path) noexcept {
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  // A cut path would name the wrong folder.
  if (length == 0 || length >= MAX_PATH) return false;
  wchar_t* separator = std::wcsrchr(path, L'\\');
  const std::size_t folderLength = separator ? static_cast<std::size_t>(separator - path) + 1 : 0;
  path[folderLength] = L'\0';
  return appendText(path, MAX_PATH + 16, folderLength, kReporterName);
}

bool CrashDump::writeMiniDump(const wchar_t* dumpName, EXCEPTION_POINTERS* exception) noexcept {
  // Read each time: the detail can be raised while the program runs.
  const DWORD detail = readSetting(HKEY_CURRENT_USER, kSettingsKey, kDetailValue, kDefaultDetail);

  KernelHandle file(::CreateFileW(dumpName, GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;

  MINIDUMP_EXCEPTION_INFORMATION information{};
  information.ThreadId = ::GetCurrentThreadId();
  information.ExceptionPointers = exception;
  // The pointers are the dumped process's own.
  information.ClientPointers = TRUE;
  return ::MiniDumpWriteDump(::GetCurrentProcess(), ::GetCurrentProcessId(), file.get(),
                             static_cast<MINIDUMP_TYPE>(detail),
                             exception ? &information : nullptr, nullptr, nullptr) != FALSE;
}

bool CrashDump::startReporter(CommandLine& commandLine) noexcept {
  ReporterPath path;
  if (!reporterPath(path)) return false;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  if (!::CreateProcessW(path, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started)) {
    return false;
  }
  // Not waited for: the reporter outlives this process.
  KernelHandle process(started.hProcess);
  KernelHandle thread(started.hThread);
  return true;
}
