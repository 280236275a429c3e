#pragma once
// The host's two watchers: the unhandled-exception filter and the working-set
// monitor. Both write a minidump of the process into the per-user logs folder
// and hand it to the crash reporter FaultPost.exe, which sits beside the
// program; only when the reporter cannot be started is the user told.
//
// Nothing here logs and the dump path allocates nothing: these routines run
// when the process may be damaged (a corrupt heap, a thread holding the
// logger's lock). Every text lives in a fixed buffer on the stack.
#include <windows.h>

#include <cstddef>
#include <cstdint>

class MemoryWatch;

class CrashDump {
public:
  // Results of writeDumpAndReport.
  static constexpr int kDumpNotWritten = 0;
  static constexpr int kReporterStarted = 1;
  static constexpr int kReporterNotStarted = 2;

  // Settings under HKEY_CURRENT_USER\Software\Mirdex.
  static constexpr const wchar_t* kSettingsKey = L"Software\\Mirdex";
  static constexpr const wchar_t* kDetailValue = L"CrashDumpDetail";
  static constexpr const wchar_t* kMemoryValue = L"CrashDumpMemory";
  static constexpr DWORD kDefaultDetail = 0;
  static constexpr DWORD kDefaultMemory = 150;

  static constexpr const wchar_t* kExceptionTag = L"except";
  static constexpr const wchar_t* kMemoryTag = L"memuse";
  static constexpr const wchar_t* kReporterName = L"FaultPost.exe";
  static constexpr const wchar_t* kMessageCaption = L"Mirdex";
  static constexpr DWORD kMonitorPeriodMs = 5000;

  // Longest texts, in characters without the terminating null; longer
  // texts are cut.
  static constexpr std::size_t kMaxDumpName = 259;
  static constexpr std::size_t kMaxCommandLine = 619;
  static constexpr std::size_t kMaxMessage = 1023;

  using DumpName = wchar_t[kMaxDumpName + 1];
  using CommandLine = wchar_t[kMaxCommandLine + 1];
  // A program path of up to MAX_PATH characters with the reporter's name
  // in place of the program's.
  using ReporterPath = wchar_t[MAX_PATH + 16];
  // The logs folder with room for the trailing separator.
  using Folder = wchar_t[MAX_PATH + 1];

  // Installs the exception filter for the whole process and, unless
  // "CrashDumpMemory" is 0, arms the memory monitor. Called once by the
  // first instance before the module runs; a later call changes nothing
  // about the monitor.
  static void initCrashDump() noexcept;

  // Writes the dump and starts the reporter. number: the faulting thread's
  // id for "except", the working set in millions of bytes for "memuse".
  // exception may be null (no exception stream in the dump).
  static int writeDumpAndReport(const wchar_t* tag, long number,
                                EXCEPTION_POINTERS* exception) noexcept;

  // Handed to the platform only.
  static LONG WINAPI exceptionFilter(EXCEPTION_POINTERS* exception) noexcept;
  static void CALLBACK memoryMonitor(PVOID context, BOOLEAN timerFired) noexcept;

  // The steps, open to tests.

  // A REG_DWORD of exactly four bytes, or the default for anything else:
  // missing key or value, another type, another size.
  static DWORD readSetting(HKEY root, const wchar_t* subKey, const wchar_t* name,
                           DWORD defaultValue) noexcept;
  // Working-set limit in bytes for a "CrashDumpMemory" setting: 0 is off,
  // 1 counts as the default.
  static std::uint64_t memoryThreshold(DWORD setting) noexcept;
  // The per-user logs folder with a trailing '\', created when missing;
  // empty when the platform gives none (the dump then goes to the current
  // directory).
  static void logsFolder(Folder& folder) noexcept;
  // The running program's file name without its extension.
  static void programBaseName(wchar_t (&name)[MAX_PATH]) noexcept;
  static void formatDumpName(DumpName& name, const wchar_t* folder, const wchar_t* program,
                             const SYSTEMTIME& time, const wchar_t* tag, long number) noexcept;
  static void formatCommandLine(CommandLine& line, const wchar_t* tag,
                                const wchar_t* dumpName) noexcept;
  // FaultPost.exe in the folder of the running program file; false when the
  // program's path does not fit.
  static bool reporterPath(ReporterPath& path) noexcept;

private:
  static int dumpAndReport(const wchar_t* tag, long number, EXCEPTION_POINTERS* exception,
                           DumpName& dumpName) noexcept;
  static bool writeMiniDump(const wchar_t* dumpName, EXCEPTION_POINTERS* exception) noexcept;
  static bool startReporter(CommandLine& commandLine) noexcept;
  static void showMessage(const wchar_t* text) noexcept;
  static void startMemoryMonitor(MemoryWatch& watch) noexcept;
};
