// The crash dumps' steps in this process: settings, the memory watch, the
// dump's name, the reporter's command line and path, and a dump written
// here without a reporter beside the program.
#include "CrashDump.h"
#include "DumpFolder.h"
#include "MemoryWatch.h"
#include "MinidumpFile.h"
#include "UniqueHandle.h"
#include "UserSetting.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <atomic>
#include <cwchar>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::wstring programPath() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

// ---------------------------------------------------------------------------
// Settings

// A key of its own, so the table never touches the real settings.
constexpr const wchar_t* kScratchKey = L"Software\\MirdexCrashDumpTests";
constexpr const wchar_t* kValue = L"Setting";

class CrashDumpSettingTest : public ::testing::Test {
protected:
  void SetUp() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kScratchKey); }
  void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kScratchKey); }
};

std::vector<BYTE> bytesOf(const void* data, std::size_t size) {
  const auto* p = static_cast<const BYTE*>(data);
  return std::vector<BYTE>(p, p + size);
}

TEST_F(CrashDumpSettingTest, OnlyAFourByteDwordCountsAnythingElseIsTheDefault) {
  struct Case {
    const char* name;
    // Stores the value; null: no key at all.
    std::function<void(UserSetting&)> store;
    // The value read, or nothing for the default.
    std::optional<DWORD> read;
  };
  const DWORD seven = 7;
  const DWORD zero = 0;
  const DWORD all = 0xFFFFFFFF;
  const WORD shortSeven = 7;
  const ULONGLONG longSeven = 7;
  const wchar_t text[] = L"7";
  const Case cases[] = {
      {"no key", nullptr, std::nullopt},
      {"no value", [](UserSetting& s) { s.setText(L"key made"); s.remove(); }, std::nullopt},
      {"dword", [&](UserSetting& s) { s.setRaw(REG_DWORD, bytesOf(&seven, 4)); }, 7},
      {"dword zero", [&](UserSetting& s) { s.setRaw(REG_DWORD, bytesOf(&zero, 4)); }, 0},
      {"dword all bits", [&](UserSetting& s) { s.setRaw(REG_DWORD, bytesOf(&all, 4)); }, all},
      {"dword of two bytes", [&](UserSetting& s) { s.setRaw(REG_DWORD, bytesOf(&shortSeven, 2)); },
       std::nullopt},
      {"dword of eight bytes", [&](UserSetting& s) { s.setRaw(REG_DWORD, bytesOf(&longSeven, 8)); },
       std::nullopt},
      {"qword", [&](UserSetting& s) { s.setRaw(REG_QWORD, bytesOf(&longSeven, 8)); }, std::nullopt},
      {"text", [&](UserSetting& s) { s.setRaw(REG_SZ, bytesOf(text, sizeof(text))); }, std::nullopt},
      {"binary of four bytes", [&](UserSetting& s) { s.setRaw(REG_BINARY, bytesOf(&seven, 4)); },
       std::nullopt},
      {"big-endian dword", [&](UserSetting& s) { s.setRaw(REG_DWORD_BIG_ENDIAN, bytesOf(&seven, 4)); },
       std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kScratchKey);
    {
      UserSetting setting(kValue, kScratchKey);
      if (c.store) c.store(setting);
      for (DWORD defaultValue : {DWORD{CrashDump::kDefaultDetail}, DWORD{CrashDump::kDefaultMemory}}) {
        EXPECT_EQ(CrashDump::readSetting(HKEY_CURRENT_USER, kScratchKey, kValue, defaultValue),
                  c.read.value_or(defaultValue));
      }
      if (!c.store) ::RegDeleteTreeW(HKEY_CURRENT_USER, kScratchKey);
    }
  }
}

TEST(CrashDumpMemoryTest, ThresholdIsTheSettingInMillionsOfBytesWithoutWrapping) {
  struct Case {
    DWORD setting;
    std::uint64_t bytes;
  };
  const Case cases[] = {
      {0, 0},  // off
      {1, 150000000},
      {2, 2000000},
      {150, 150000000},
      {4294, 4294000000},
      // Beyond 32 bits of bytes: kept exact, not wrapped to a small limit.
      {4295, 4295000000},
      {0xFFFFFFFF, 4294967295000000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CrashDump::memoryThreshold(c.setting), c.bytes) << c.setting;
  }
}

// ---------------------------------------------------------------------------
// The memory watch

TEST(MemoryWatchTest, FiresOnceAtTheThresholdAndIsArmedOnce) {
  MemoryWatch watch;
  ASSERT_TRUE(watch.arm(2000000));
  EXPECT_FALSE(watch.arm(5)) << "armed a second time";
  EXPECT_EQ(watch.threshold(), 2000000u);

  EXPECT_FALSE(watch.claim(1999999));
  EXPECT_FALSE(watch.fired());
  EXPECT_TRUE(watch.claim(2000000));
  EXPECT_TRUE(watch.fired());
  EXPECT_FALSE(watch.claim(5000000000)) << "fired twice";
}

TEST(MemoryWatchTest, OverlappingTicksDumpOnlyOnce) {
  // Ticks of a pool timer overlap when one is slow; each one over the limit
  // would delete the timer and write a dump.
  MemoryWatch watch;
  ASSERT_TRUE(watch.arm(1));
  std::atomic<bool> go{false};
  std::atomic<int> winners{0};
  std::vector<std::thread> ticks;
  for (int i = 0; i < 8; ++i) {
    ticks.emplace_back([&] {
      while (!go.load()) std::this_thread::yield();
      if (watch.claim(1000)) ++winners;
    });
  }
  go = true;
  for (std::thread& tick : ticks) tick.join();
  EXPECT_EQ(winners.load(), 1);
}

// ---------------------------------------------------------------------------
// Names and command line

TEST(CrashDumpNameTest, FollowsTheFormatAndIsCutAt259Characters) {
  const SYSTEMTIME march{2024, 3, 2, 5, 14, 15, 3, 42};
  const SYSTEMTIME newYearsEve{2024, 12, 2, 31, 23, 59, 59, 999};
  const SYSTEMTIME early{2025, 1, 3, 2, 3, 4, 5, 6};
  const std::wstring longFolder = L"C:\\" + std::wstring(250, L'f') + L"\\";
  struct Case {
    const wchar_t* folder;
    const wchar_t* program;
    SYSTEMTIME time;
    const wchar_t* tag;
    long number;
    std::wstring expected;
  };
  const Case cases[] = {
      {L"C:\\Users\\u\\AppData\\Local\\Mirdex\\logs\\", L"Mirdex", march, L"except", 4711,
       L"C:\\Users\\u\\AppData\\Local\\Mirdex\\logs\\Mirdex-20240305-141503-042-except-4711.dmp"},
      // No logs folder: a name relative to the current directory.
      {L"", L"Mirdex", newYearsEve, L"memuse", 2, L"Mirdex-20241231-235959-999-memuse-2.dmp"},
      {L"D:\\", L"crash target", early, L"memuse", 2147483647,
       L"D:\\crash target-20250102-030405-006-memuse-2147483647.dmp"},
      {longFolder.c_str(), L"Mirdex", march, L"except", 4711,
       (longFolder + L"Mirdex-20240305-141503-042-except-4711.dmp").substr(0, 259)},
  };
  for (const Case& c : cases) {
    CrashDump::DumpName name;
    CrashDump::formatDumpName(name, c.folder, c.program, c.time, c.tag, c.number);
    EXPECT_EQ(std::wstring(name), c.expected);
  }
}

TEST(CrashDumpCommandLineTest, QuotesThePathAndIsCutAt619Characters) {
  CrashDump::CommandLine line;
  CrashDump::formatCommandLine(line, L"except",
                               L"C:\\Users\\a b\\Mirdex\\logs\\Mirdex-20240305-141503-042-except-4711.dmp");
  EXPECT_EQ(std::wstring(line),
            L"FaultPost.exe except \"C:\\Users\\a b\\Mirdex\\logs\\Mirdex-20240305-141503-042-except-4711.dmp\"");

  const std::wstring longPath = L"C:\\" + std::wstring(700, L'p') + L".dmp";
  CrashDump::formatCommandLine(line, L"memuse", longPath.c_str());
  EXPECT_EQ(std::wstring(line), (L"FaultPost.exe memuse \"" + longPath + L"\"").substr(0, 619));
}

TEST(CrashDumpPlaceTest, LogsFolderIsCreatedUnderLocalApplicationData) {
  wchar_t local[MAX_PATH] = {};
  ASSERT_TRUE(SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, local)));
  CrashDump::Folder folder;
  CrashDump::logsFolder(folder);
  const std::wstring expected = std::wstring(local) + L"\\Mirdex\\logs\\";
  EXPECT_EQ(::CompareStringOrdinal(folder, -1, expected.c_str(), -1, TRUE), CSTR_EQUAL)
      << narrow(folder);
  const DWORD attributes = ::GetFileAttributesW(folder);
  EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(CrashDumpPlaceTest, ProgramNameAndReporterComeFromTheRunningProgram) {
  const std::wstring program = programPath();
  const std::size_t separator = program.find_last_of(L'\\');
  const std::wstring file = program.substr(separator + 1);

  wchar_t name[MAX_PATH];
  CrashDump::programBaseName(name);
  EXPECT_EQ(std::wstring(name), file.substr(0, file.find_last_of(L'.')));

  CrashDump::ReporterPath reporter;
  ASSERT_TRUE(CrashDump::reporterPath(reporter));
  EXPECT_EQ(std::wstring(reporter), program.substr(0, separator + 1) + L"FaultPost.exe");
}

// ---------------------------------------------------------------------------
// A dump of this process

TEST(CrashDumpWriteTest, WithoutAReporterTheDumpIsWrittenAndResultIsTwo) {
  CrashDump::ReporterPath reporter;
  ASSERT_TRUE(CrashDump::reporterPath(reporter));
  ASSERT_EQ(::GetFileAttributesW(reporter), INVALID_FILE_ATTRIBUTES)
      << "this test needs no reporter beside the test program";
  UserSetting detail(CrashDump::kDetailValue);
  detail.remove();
  DumpFolder folder;

  EXPECT_EQ(CrashDump::writeDumpAndReport(CrashDump::kMemoryTag, 3, nullptr),
            CrashDump::kReporterNotStarted);

  wchar_t program[MAX_PATH];
  CrashDump::programBaseName(program);
  const std::vector<DumpFolder::Dump> dumps = folder.newDumps(program, L"memuse");
  ASSERT_EQ(dumps.size(), 1u) << "files: " << folder.newFiles().size();
  EXPECT_EQ(dumps[0].number, 3);
  MinidumpFile dump;
  ASSERT_TRUE(dump.open(dumps[0].path)) << narrow(dump.error());
  MinidumpFile::Exception exception;
  EXPECT_EQ(dump.exception(exception), MinidumpFile::Lookup::Missing);
}

}  // namespace
