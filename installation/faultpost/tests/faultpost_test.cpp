// FaultPost: reading real minidumps of this process, damaged and cut dumps,
// and the program itself started as the host starts it.
#include "BuildPath.h"
#include "FaultPostExit.h"
#include "InProcessDump.h"
#include "MessageBoxWindow.h"
#include "MinidumpFile.h"
#include "ReporterArguments.h"
#include "TestDirectory.h"
#include "TestProcess.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <dbghelp.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

std::wstring faultPostPath() { return BuildPath::windows(FAULTPOST_EXE_PATH); }

std::vector<char> readBytes(const std::wstring& path) {
  std::vector<char> bytes;
  KernelHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return bytes;
  LARGE_INTEGER size{};
  ::GetFileSizeEx(file.get(), &size);
  bytes.resize(static_cast<std::size_t>(size.QuadPart));
  DWORD read = 0;
  if (!bytes.empty()) ::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  bytes.resize(read);
  return bytes;
}

bool writeBytes(const std::wstring& path, const std::vector<char>& bytes) {
  KernelHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return bytes.empty() ||
         (::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
          written == bytes.size());
}

// The report as text; nothing when there is no file.
std::optional<std::wstring> readReport(const std::wstring& path) {
  if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  const std::vector<char> bytes = readBytes(path);
  std::wstring text;
  if (bytes.empty()) return text;
  const int length = static_cast<int>(bytes.size());
  text.resize(static_cast<std::size_t>(::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), length, nullptr, 0)));
  ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), length, text.data(), static_cast<int>(text.size()));
  return text;
}

std::wstring reportPathOf(const std::wstring& dumpPath) {
  return dumpPath.substr(0, dumpPath.size() - 4) + L".txt";
}

std::wstring moduleFileName(HMODULE module) {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(module, path, MAX_PATH);
  return path;
}

std::wstring baseName(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

HMODULE moduleHolding(std::uint64_t address) {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(static_cast<std::uintptr_t>(address)), &module);
  return module;
}

// Where a stream of the dump's bytes lies; the test edits dumps in place.
std::optional<MINIDUMP_LOCATION_DESCRIPTOR> streamLocation(const std::vector<char>& dump, ULONG32 type) {
  MINIDUMP_HEADER header;
  std::memcpy(&header, dump.data(), sizeof(header));
  for (ULONG32 i = 0; i < header.NumberOfStreams; ++i) {
    MINIDUMP_DIRECTORY entry;
    std::memcpy(&entry, dump.data() + header.StreamDirectoryRva + i * sizeof(entry), sizeof(entry));
    if (entry.StreamType == type) return entry.Location;
  }
  return std::nullopt;
}

template <typename T>
void patch(std::vector<char>& bytes, std::size_t offset, T value) {
  std::memcpy(bytes.data() + offset, &value, sizeof(value));
}

// FaultPost.exe run to its end with the arguments.
DWORD runFaultPost(const std::wstring& arguments) {
  TestProcess reporter(faultPostPath(), arguments);
  if (!reporter.started()) return STILL_ACTIVE;
  return reporter.wait();
}

class FaultPostTest : public ::testing::Test {
protected:
  // One real dump of this process for a raised exception serves a whole
  // suite: the writer takes seconds under Wine.
  static void SetUpTestSuite() {
    s_shared = std::make_unique<TestDirectory>();
    const std::wstring path = s_shared->file(L"Mirdex-20240305-141503-042-except-4711.dmp");
    if (InProcessDump::writeForException(path, s_raised)) s_exceptionDump = path;
  }
  static void TearDownTestSuite() {
    s_exceptionDump.clear();
    s_shared.reset();
  }

  std::wstring dumpPath(const wchar_t* name) const { return m_directory.file(name); }
  static const std::wstring& exceptionDump() { return s_exceptionDump; }
  static const InProcessDump::Raised& raised() { return s_raised; }

  TestDirectory m_directory;

private:
  static inline std::unique_ptr<TestDirectory> s_shared;
  static inline std::wstring s_exceptionDump;
  static inline InProcessDump::Raised s_raised;
};

// ---------------------------------------------------------------------------
// Reading dumps

TEST_F(FaultPostTest, ExceptionStreamOfARaisedExceptionNamesCodeThreadAndModule) {
  ASSERT_FALSE(exceptionDump().empty());
  MinidumpFile dump;
  ASSERT_TRUE(dump.open(exceptionDump())) << dump.error();

  MinidumpFile::Exception exception;
  ASSERT_EQ(dump.exception(exception), MinidumpFile::Lookup::Found);
  EXPECT_EQ(exception.code, InProcessDump::kExceptionCode);
  EXPECT_EQ(exception.threadId, ::GetCurrentThreadId());
  EXPECT_EQ(exception.address, raised().address);
  EXPECT_EQ(exception.parameters,
            (std::vector<std::uint64_t>{InProcessDump::kFirstParameter, InProcessDump::kSecondParameter}));

  std::vector<MinidumpFile::Module> modules;
  ASSERT_EQ(dump.modules(modules), MinidumpFile::Lookup::Found);
  const MinidumpFile::Module* faulting = MinidumpFile::moduleAt(modules, exception.address);
  ASSERT_NE(faulting, nullptr);
  EXPECT_EQ(faulting->base, reinterpret_cast<std::uintptr_t>(moduleHolding(exception.address)));
}

TEST_F(FaultPostTest, ThreadsModulesAndSystemAreThoseOfTheDumpedProcess) {
  ASSERT_FALSE(exceptionDump().empty());
  MinidumpFile dump;
  ASSERT_TRUE(dump.open(exceptionDump())) << dump.error();

  std::vector<MinidumpFile::Thread> threads;
  ASSERT_EQ(dump.threads(threads), MinidumpFile::Lookup::Found);
  EXPECT_TRUE(std::any_of(threads.begin(), threads.end(), [](const MinidumpFile::Thread& thread) {
    return thread.id == ::GetCurrentThreadId();
  }));

  std::vector<MinidumpFile::Module> modules;
  ASSERT_EQ(dump.modules(modules), MinidumpFile::Lookup::Found);
  const auto self = reinterpret_cast<std::uintptr_t>(::GetModuleHandleW(nullptr));
  const MinidumpFile::Module* program = MinidumpFile::moduleAt(modules, self);
  ASSERT_NE(program, nullptr);
  EXPECT_EQ(program->base, self);
  EXPECT_EQ(program->name(), baseName(moduleFileName(nullptr)));

  MinidumpFile::SystemInfo system;
  ASSERT_EQ(dump.systemInfo(system), MinidumpFile::Lookup::Found);
  SYSTEM_INFO processor{};
  ::GetNativeSystemInfo(&processor);
  EXPECT_EQ(system.processorArchitecture, processor.wProcessorArchitecture);
  EXPECT_EQ(system.processorCount, processor.dwNumberOfProcessors);
  // The version as the kernel reports it, not as a compatibility shim would.
  using GetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
  const auto getVersion = reinterpret_cast<GetVersionFunction>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  ASSERT_NE(getVersion, nullptr);
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof(version);
  ASSERT_EQ(getVersion(&version), 0);
  EXPECT_EQ(system.majorVersion, version.dwMajorVersion);
  EXPECT_EQ(system.minorVersion, version.dwMinorVersion);
  EXPECT_EQ(system.buildNumber, version.dwBuildNumber);
}

TEST_F(FaultPostTest, DumpWrittenOnRequestHasNoExceptionStream) {
  const std::wstring path = dumpPath(L"request.dmp");
  ASSERT_TRUE(InProcessDump::write(path));
  MinidumpFile dump;
  ASSERT_TRUE(dump.open(path)) << dump.error();
  MinidumpFile::Exception exception;
  EXPECT_EQ(dump.exception(exception), MinidumpFile::Lookup::Missing);
  std::vector<MinidumpFile::Thread> threads;
  EXPECT_EQ(dump.threads(threads), MinidumpFile::Lookup::Found);
}

// ---------------------------------------------------------------------------
// Damaged and cut dumps: never read past the end, always a report saying so

struct DamageCase {
  const char* name;
  // Makes the damaged file from a real dump's bytes; false: no file at all.
  std::function<bool(std::vector<char>& bytes)> damage;
  // Whether the header and directory still open (the damage is inside a
  // stream) and which part the report must call damaged.
  bool opens;
  const wchar_t* reportSays;
};

void PrintTo(const DamageCase& c, std::ostream* out) { *out << c.name; }

class DamagedDumpTest : public FaultPostTest, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(DamagedDumpTest, IsRefusedAndReportedWithoutReadingPastTheEnd) {
  const DamageCase& c = GetParam();
  ASSERT_FALSE(exceptionDump().empty());
  std::vector<char> bytes = readBytes(exceptionDump());
  ASSERT_GT(bytes.size(), 4096u);

  const std::wstring path = dumpPath(L"damaged.dmp");
  if (c.damage(bytes)) {
    ASSERT_TRUE(writeBytes(path, bytes));
  }

  MinidumpFile dump;
  const bool opened = dump.open(path);
  EXPECT_EQ(opened, c.opens) << std::string(dump.error().begin(), dump.error().end());
  if (opened) {
    MinidumpFile::Exception exception;
    std::vector<MinidumpFile::Thread> threads;
    std::vector<MinidumpFile::Module> modules;
    const bool damaged = dump.exception(exception) == MinidumpFile::Lookup::Damaged ||
                         dump.threads(threads) == MinidumpFile::Lookup::Damaged ||
                         dump.modules(modules) == MinidumpFile::Lookup::Damaged;
    EXPECT_TRUE(damaged);
  } else {
    EXPECT_FALSE(dump.error().empty());
  }

  EXPECT_EQ(runFaultPost(L"/quiet except \"" + path + L"\""), DWORD{FaultPostExit::kDumpUnreadable});
  const std::optional<std::wstring> report = readReport(reportPathOf(path));
  ASSERT_TRUE(report.has_value());
  EXPECT_NE(report->find(L"could not be read"), std::wstring::npos) << *report;
  EXPECT_NE(report->find(c.reportSays), std::wstring::npos) << *report;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedDumpTest,
    ::testing::Values(
        DamageCase{"missing", [](std::vector<char>&) { return false; }, false, L"could not be opened"},
        DamageCase{"empty", [](std::vector<char>& b) { b.clear(); return true; }, false, L"empty"},
        DamageCase{"shorter than a header",
                   [](std::vector<char>& b) { b.resize(16); return true; }, false, L"too short"},
        DamageCase{"not a minidump",
                   [](std::vector<char>& b) {
                     const char text[] = "This is a text file, not a dump of any process.\r\n";
                     b.assign(text, text + sizeof(text) - 1);
                     return true;
                   },
                   false, L"not a minidump"},
        DamageCase{"cut after the directory",
                   [](std::vector<char>& b) {
                     MINIDUMP_HEADER header;
                     std::memcpy(&header, b.data(), sizeof(header));
                     b.resize(header.StreamDirectoryRva +
                              header.NumberOfStreams * sizeof(MINIDUMP_DIRECTORY) + 16);
                     return true;
                   },
                   false,
                   L"cut short"},
        DamageCase{"directory beyond the end",
                   [](std::vector<char>& b) {
                     patch<RVA>(b, offsetof(MINIDUMP_HEADER, StreamDirectoryRva),
                                static_cast<RVA>(b.size() - 8));
                     return true;
                   },
                   false, L"stream directory"},
        DamageCase{"thread count larger than its stream",
                   [](std::vector<char>& b) {
                     const auto threads = streamLocation(b, ThreadListStream);
                     if (!threads) return false;
                     patch<ULONG32>(b, threads->Rva, 0x7FFFFFFF);
                     return true;
                   },
                   true, L"thread list is damaged"},
        DamageCase{"module name beyond the end",
                   [](std::vector<char>& b) {
                     const auto modules = streamLocation(b, ModuleListStream);
                     if (!modules) return false;
                     patch<RVA>(b, modules->Rva + sizeof(ULONG32) + offsetof(MINIDUMP_MODULE, ModuleNameRva),
                                static_cast<RVA>(b.size() - 2));
                     return true;
                   },
                   true, L"module list is damaged"}),
    [](const ::testing::TestParamInfo<DamageCase>& info) {
      std::string name;
      for (const char* c = info.param.name; *c; ++c) name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
      return name;
    });

// ---------------------------------------------------------------------------
// The program

TEST_F(FaultPostTest, ReportOfARealDumpNamesCodeModuleThreadAndCommandLine) {
  ASSERT_FALSE(exceptionDump().empty());
  const std::wstring arguments = L"except \"" + exceptionDump() + L"\" /quiet";
  ASSERT_EQ(runFaultPost(arguments), DWORD{FaultPostExit::kReported});

  const std::optional<std::wstring> report = readReport(reportPathOf(exceptionDump()));
  ASSERT_TRUE(report.has_value());
  const std::wstring faultingModule = baseName(moduleFileName(moduleHolding(raised().address)));
  const std::wstring expected[] = {
      L"Reason: except",
      L"Dump file: " + exceptionDump() + L"\r\n",
      L"Command line: \"" + faultPostPath() + L"\" " + arguments + L"\r\n",
      L"Code: 0xE0F0A001\r\n",
      L"Faulting module: " + faultingModule + L" + 0x",
      L"Faulting thread: " + std::to_wstring(raised().threadId) + L"\r\n",
      L"Thread: " + std::to_wstring(raised().threadId) + L", TEB ",
      L"(faulting thread)",
      moduleFileName(nullptr) + L"\r\n",
      L"Operating system: Windows ",
      L"Processor: x64",
  };
  for (const std::wstring& text : expected) {
    EXPECT_NE(report->find(text), std::wstring::npos) << "missing: " << std::string(text.begin(), text.end());
  }
  EXPECT_EQ(report->find(L"could not be read"), std::wstring::npos);
}

TEST_F(FaultPostTest, QuietSwitchIsHonouredAnywhereInAnyCase) {
  const std::wstring path = dumpPath(L"quiet.dmp");
  ASSERT_TRUE(InProcessDump::write(path));
  const std::wstring quoted = L"\"" + path + L"\"";
  for (const std::wstring& arguments :
       {L"/quiet memuse " + quoted, L"memuse /QUIET " + quoted, L"memuse " + quoted + L" /Quiet"}) {
    ::DeleteFileW(reportPathOf(path).c_str());
    // A box would keep the program waiting past the time-out.
    EXPECT_EQ(runFaultPost(arguments), DWORD{FaultPostExit::kReported}) << std::string(arguments.begin(), arguments.end());
    EXPECT_TRUE(readReport(reportPathOf(path)).has_value());
  }
}

TEST_F(FaultPostTest, WithoutQuietTellsTheUserWhereTheReportIs) {
  const std::wstring path = dumpPath(L"Mirdex-20240305-141503-042-memuse-170.dmp");
  ASSERT_TRUE(InProcessDump::write(path));
  TestProcess reporter(faultPostPath(), L"memuse \"" + path + L"\"");
  ASSERT_TRUE(reporter.started());

  const auto box = MessageBoxWindow::waitFor(L"FaultPost", reporter.id(), reportPathOf(path), TestProcess::kLongWait);
  ASSERT_TRUE(box.has_value());
  EXPECT_NE(box->text().find(L"memory"), std::wstring::npos);
  // MB_TOPMOST is not asserted: Wine does not make message boxes topmost.
  // The report is there while the user reads the message.
  EXPECT_TRUE(readReport(reportPathOf(path)).has_value());
  EXPECT_TRUE(reporter.running());

  box->close();
  EXPECT_EQ(reporter.wait(), DWORD{FaultPostExit::kReported});
}

TEST_F(FaultPostTest, ArgumentsOtherThanTagAndDumpAreRefused) {
  for (const wchar_t* arguments : {L"/quiet", L"/quiet except", L"/quiet except a.dmp extra"}) {
    EXPECT_EQ(runFaultPost(arguments), DWORD{FaultPostExit::kUsage}) << arguments;
  }
}

TEST_F(FaultPostTest, ReportThatCannotBeWrittenGivesItsOwnExitCode) {
  const std::wstring path = dumpPath(L"blocked.dmp");
  ASSERT_TRUE(InProcessDump::write(path));
  // A folder where the report should go.
  ASSERT_TRUE(::CreateDirectoryW(reportPathOf(path).c_str(), nullptr));
  EXPECT_EQ(runFaultPost(L"/quiet except \"" + path + L"\""), DWORD{FaultPostExit::kReportNotWritten});
}

// ---------------------------------------------------------------------------
// Arguments

TEST(ReporterArgumentsTest, ParsesTagAndQuotedPathAndNamesTheReportBesideTheDump) {
  struct Case {
    const wchar_t* commandLine;
    bool valid;
    bool quiet;
    const wchar_t* tag;
    const wchar_t* dump;
    const wchar_t* report;
  };
  const Case cases[] = {
      {L"FaultPost.exe except \"C:\\a b\\Mirdex-1-except-4.dmp\"", true, false, L"except",
       L"C:\\a b\\Mirdex-1-except-4.dmp", L"C:\\a b\\Mirdex-1-except-4.txt"},
      {L"\"C:\\x y\\FaultPost.exe\" memuse \"C:\\logs\\D.DMP\" /quiet", true, true, L"memuse",
       L"C:\\logs\\D.DMP", L"C:\\logs\\D.txt"},
      {L"FaultPost.exe /QUIET except C:\\logs\\dump", true, true, L"except", L"C:\\logs\\dump",
       L"C:\\logs\\dump.txt"},
      {L"FaultPost.exe except", false, false, L"", L"", L".txt"},
      {L"FaultPost.exe except \"\"", false, false, L"", L"", L".txt"},
      {L"FaultPost.exe", false, false, L"", L"", L".txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.commandLine, c.commandLine + std::wcslen(c.commandLine)));
    const ReporterArguments arguments = ReporterArguments::parse(c.commandLine);
    EXPECT_EQ(arguments.valid(), c.valid);
    EXPECT_EQ(arguments.quiet(), c.quiet);
    EXPECT_EQ(arguments.tag(), c.tag);
    EXPECT_EQ(arguments.dumpPath(), c.dump);
    EXPECT_EQ(arguments.reportPath(), c.report);
    EXPECT_EQ(arguments.commandLine(), c.commandLine);
  }
}

}  // namespace
