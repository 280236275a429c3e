// Whole runs: a small program that installs the host's crash handling
// (crash_target.exe, copied into a folder of its own as "crash target.exe")
// faults or waits for the memory monitor, with and without the reporter
// FaultPost.exe beside it; and the real host made to fault.
//
// The host starts the reporter without /quiet, so the reporter shows its
// message; the tests find that box by its caption and text and press OK,
// as a user would.
#include "BuildPath.h"
#include "CrashDump.h"
#include "DumpFolder.h"
#include "MessageBoxWindow.h"
#include "MinidumpFile.h"
#include "RunningHost.h"
#include "TestDirectory.h"
#include "TestProcess.h"
#include "UniqueHandle.h"
#include "UserSetting.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <dbghelp.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr DWORD kAccessViolation = 0xC0000005;
constexpr const wchar_t* kTargetName = L"crash target";
constexpr const wchar_t* kExceptionMessage =
    L"An exception error occurred!\n\n"
    L"Please report to miRdex together with following info:\n"
    L"  1) miRdex version; and\n"
    L"  2) Dump file (*.dmp); and\n"
    L"  3) Log files (*.log*).\n\n"
    L"They can be located either in miRdex installation directory\n"
    L"or your hard disk root directory.\n\n";

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::wstring reportPathOf(const std::wstring& dumpPath) {
  return dumpPath.substr(0, dumpPath.size() - 4) + L".txt";
}

std::optional<std::wstring> readText(const std::wstring& path) {
  KernelHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(::GetFileSize(file.get(), nullptr)), '\0');
  DWORD read = 0;
  if (!bytes.empty()) ::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  std::wstring text(static_cast<std::size_t>(read), L'\0');
  text.resize(static_cast<std::size_t>(
      ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(read), text.data(), static_cast<int>(read))));
  return text;
}

std::uint64_t fileTimeOf(const SYSTEMTIME& time) {
  FILETIME file{};
  ::SystemTimeToFileTime(&time, &file);
  return (static_cast<std::uint64_t>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
}

SYSTEMTIME localNow() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  return now;
}

// The time in a dump's name lies between two local times, give or take two
// seconds for clocks read at slightly different moments.
void expectTimeBetween(const SYSTEMTIME& time, const SYSTEMTIME& before, const SYSTEMTIME& after) {
  constexpr std::uint64_t kSlack = 2 * 10000000ULL;
  EXPECT_GE(fileTimeOf(time) + kSlack, fileTimeOf(before));
  EXPECT_LE(fileTimeOf(time), fileTimeOf(after) + kSlack);
}

void expectContains(const std::wstring& text, const std::wstring& part) {
  EXPECT_NE(text.find(part), std::wstring::npos) << "missing: " << narrow(part) << "\nin:\n" << narrow(text);
}

// Waits until the program and tag have a new dump in the folder.
std::optional<DumpFolder::Dump> waitForDump(const DumpFolder& folder, const std::wstring& program,
                                            const std::wstring& tag, DWORD timeoutMs) {
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  for (;;) {
    std::vector<DumpFolder::Dump> dumps = folder.newDumps(program, tag);
    if (!dumps.empty()) return dumps.front();
    if (::GetTickCount64() > end) return std::nullopt;
    ::Sleep(100);
  }
}

// The reporter's box for a dump: it names the report beside the dump.
std::optional<MessageBoxWindow> waitForReporter(const std::wstring& dumpPath) {
  return MessageBoxWindow::waitFor(L"FaultPost", 0, reportPathOf(dumpPath), TestProcess::kLongWait);
}

void expectReport(const std::wstring& dumpPath, const std::wstring& tag,
                  const std::vector<std::wstring>& parts) {
  const std::optional<std::wstring> report = readText(reportPathOf(dumpPath));
  ASSERT_TRUE(report.has_value()) << "no report beside " << narrow(dumpPath);
  // The exact command line the reporter was started with.
  expectContains(*report, L"Command line: FaultPost.exe " + tag + L" \"" + dumpPath + L"\"\r\n");
  for (const std::wstring& part : parts) expectContains(*report, part);
}

class CrashTargetTest : public ::testing::Test {
protected:
  void SetUp() override {
    // The settings at their defaults unless a test says otherwise.
    m_detail.remove();
    m_memory.remove();
  }

  // "crash target.exe" in a folder of its own, with or without the reporter.
  std::wstring installTarget(bool withReporter) {
    const std::wstring target = m_programFolder.file(std::wstring(kTargetName) + L".exe");
    EXPECT_TRUE(::CopyFileW(BuildPath::windows(CRASH_TARGET_EXE_PATH).c_str(), target.c_str(), FALSE));
    if (withReporter) {
      EXPECT_TRUE(::CopyFileW(BuildPath::windows(FAULTPOST_EXE_PATH).c_str(),
                              m_programFolder.file(L"FaultPost.exe").c_str(), FALSE));
    }
    return target;
  }

  TestDirectory m_programFolder;
  UserSetting m_detail{CrashDump::kDetailValue};
  UserSetting m_memory{CrashDump::kMemoryValue};
  DumpFolder m_dumps;
};

TEST_F(CrashTargetTest, FaultWritesTheDumpAndStartsTheReporterWithTagAndQuotedPath) {
  const std::wstring target = installTarget(true);
  const SYSTEMTIME before = localNow();
  TestProcess process(target, L"fault");
  ASSERT_TRUE(process.started());

  // The filter handled the fault: the process ends by itself (a box of its
  // own would hold it) with the exception's code.
  EXPECT_EQ(process.wait(), kAccessViolation);
  const SYSTEMTIME after = localNow();

  const std::vector<DumpFolder::Dump> dumps = m_dumps.newDumps(kTargetName, L"except");
  ASSERT_EQ(dumps.size(), 1u);
  const DumpFolder::Dump& dump = dumps[0];
  EXPECT_EQ(dump.number, static_cast<long>(process.mainThreadId()));
  expectTimeBetween(dump.time, before, after);

  MinidumpFile file;
  ASSERT_TRUE(file.open(dump.path)) << narrow(file.error());
  MinidumpFile::Exception exception;
  ASSERT_EQ(file.exception(exception), MinidumpFile::Lookup::Found);
  EXPECT_EQ(exception.code, kAccessViolation);
  EXPECT_EQ(exception.threadId, process.mainThreadId());

  const auto box = waitForReporter(dump.path);
  ASSERT_TRUE(box.has_value()) << "the reporter did not announce its report";
  expectReport(dump.path, L"except",
               {L"Code: 0xC0000005 (access violation)\r\n", L"Faulting module: crash target.exe + 0x",
                L"Faulting thread: " + std::to_wstring(process.mainThreadId()) + L"\r\n",
                L"Detail: write to address 0x0000000000000010\r\n"});
  box->close();
}

TEST_F(CrashTargetTest, FaultWithoutReporterShowsTheMessageAndStillEndsTheProcess) {
  const std::wstring target = installTarget(false);
  TestProcess process(target, L"fault");
  ASSERT_TRUE(process.started());

  const auto box = MessageBoxWindow::waitFor(L"Mirdex", process.id(), L"", TestProcess::kLongWait);
  ASSERT_TRUE(box.has_value()) << "exit code " << process.wait(0);
  EXPECT_EQ(box->text(), kExceptionMessage);
  // The dump is complete before the user is told.
  const std::vector<DumpFolder::Dump> dumps = m_dumps.newDumps(kTargetName, L"except");
  ASSERT_EQ(dumps.size(), 1u);
  EXPECT_TRUE(process.running());

  box->close();
  EXPECT_EQ(process.wait(), kAccessViolation);
  MinidumpFile file;
  ASSERT_TRUE(file.open(dumps[0].path)) << narrow(file.error());
  MinidumpFile::Exception exception;
  EXPECT_EQ(file.exception(exception), MinidumpFile::Lookup::Found);
  EXPECT_EQ(::GetFileAttributesW(reportPathOf(dumps[0].path).c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(CrashTargetTest, MemoryMonitorWritesOneDumpAtTheFirstTickOverTheLimit) {
  // Two million bytes: any process is over it at the first tick.
  ASSERT_TRUE(m_memory.setNumber(2));
  const std::wstring target = installTarget(false);
  TestProcess process(target, L"monitor");
  ASSERT_TRUE(process.started());

  const auto box = MessageBoxWindow::waitFor(L"Mirdex", process.id(), L"", TestProcess::kLongWait);
  ASSERT_TRUE(box.has_value());
  const ULONGLONG elapsed = ::GetTickCount64() - process.startTick();
  // The first tick comes five seconds after installation.
  EXPECT_GE(elapsed, 4500u);

  const std::vector<DumpFolder::Dump> dumps = m_dumps.newDumps(kTargetName, L"memuse");
  ASSERT_EQ(dumps.size(), 1u);
  EXPECT_GE(dumps[0].number, 2);
  EXPECT_EQ(box->text(), L"High memory usage is detected!\n\nA dump is created at:\n" + dumps[0].path + L"\n\n");
  MinidumpFile file;
  ASSERT_TRUE(file.open(dumps[0].path)) << narrow(file.error());
  MinidumpFile::Exception exception;
  EXPECT_EQ(file.exception(exception), MinidumpFile::Lookup::Missing);

  box->close();
  // The monitor is gone and the program goes on. Ticks went on during the
  // box, and one more period brings no second dump either.
  ::Sleep(CrashDump::kMonitorPeriodMs + 1500);
  EXPECT_TRUE(process.running());
  EXPECT_EQ(m_dumps.newDumps(kTargetName, L"memuse").size(), 1u);
  EXPECT_FALSE(MessageBoxWindow::present(L"Mirdex", process.id()));
}

TEST_F(CrashTargetTest, DumpDetailIsTakenOnlyFromAFourByteDword) {
  // Full memory (MiniDumpWithFullMemory) is the detail flag Wine's writer
  // honours visibly: it adds the 64-bit memory list. Stored as a text, the
  // same number is ignored and the dump is a normal one.
  struct Case {
    const char* name;
    bool asNumber;
    bool fullMemory;
  };
  const Case cases[] = {{"text", false, false}, {"dword", true, true}};
  const std::wstring target = installTarget(false);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.asNumber) {
      ASSERT_TRUE(m_detail.setNumber(MiniDumpWithFullMemory));
    } else {
      ASSERT_TRUE(m_detail.setText(std::to_wstring(MiniDumpWithFullMemory)));
    }
    DumpFolder dumps;
    TestProcess process(target, L"dump memuse 9");
    ASSERT_TRUE(process.started());
    EXPECT_EQ(process.wait(), DWORD{CrashDump::kReporterNotStarted});

    const std::vector<DumpFolder::Dump> written = dumps.newDumps(kTargetName, L"memuse");
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0].number, 9);
    MinidumpFile file;
    ASSERT_TRUE(file.open(written[0].path)) << narrow(file.error());
    EXPECT_EQ(file.hasStream(Memory64ListStream), c.fullMemory);
  }
}

// ---------------------------------------------------------------------------
// The host

// Windows drops a dead server's class objects from the COM service when
// the process ends. Wine's COM service keeps them, and every later
// activation of those classes then fails with "server unavailable" instead
// of starting the host anew. After the host has crashed on purpose, end the
// service; the next COM call starts a fresh one.
class StaleClassObjectsCleaner {
public:
  StaleClassObjectsCleaner() = default;
  StaleClassObjectsCleaner(const StaleClassObjectsCleaner&) = delete;
  StaleClassObjectsCleaner& operator=(const StaleClassObjectsCleaner&) = delete;
  ~StaleClassObjectsCleaner() {
    for (DWORD id : TestProcess::idsNamed(L"rpcss.exe")) {
      const KernelHandle service(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
      if (service && ::TerminateProcess(service.get(), 0)) ::WaitForSingleObject(service.get(), 5000);
    }
  }
};

TEST(HostCrashTest, ThreadFaultingInsideTheHostIsDumpedAndReported) {
  const StaleClassObjectsCleaner cleaner;  // runs after the host below has ended
  UserSetting detail(CrashDump::kDetailValue);
  detail.remove();
  DumpFolder dumps;
  RunningHost host;
  std::string why;
  ASSERT_TRUE(host.start(L"", why)) << why;

  // A thread of the host's own that starts at an address where nothing is
  // mapped: the fault is the host's, and so is the filter that sees it.
  DWORD threadId = 0;
  KernelHandle thread(::CreateRemoteThread(
      host.process().handle(), nullptr, 0,
      reinterpret_cast<LPTHREAD_START_ROUTINE>(static_cast<std::uintptr_t>(0x10)), nullptr, 0, &threadId));
  ASSERT_TRUE(thread) << ::GetLastError();

  const auto dump = waitForDump(dumps, L"Mirdex", L"except", TestProcess::kLongWait);
  ASSERT_TRUE(dump.has_value()) << "no dump from the host";
  EXPECT_EQ(dump->number, static_cast<long>(threadId));

  const auto box = waitForReporter(dump->path);
  ASSERT_TRUE(box.has_value()) << "the reporter beside Mirdex.exe did not announce its report";
  expectReport(dump->path, L"except",
               {L"Code: 0xC0000005 (access violation)\r\n",
                L"Faulting thread: " + std::to_wstring(threadId) + L"\r\n",
                L"Faulting module: none: no module holds the address\r\n",
                L"Detail: execute at address 0x0000000000000010\r\n", L"\\Mirdex.exe\r\n"});
  box->close();
  EXPECT_EQ(host.process().wait(), kAccessViolation);
}

}  // namespace
