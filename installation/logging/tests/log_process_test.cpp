#include "ChildProcess.h"
#include "LogFile.h"
#include "LogLines.h"
#include "TestDirectory.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

std::uint64_t fileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA info;
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info)) return 0;
  return (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}

// Starts the writers with one gate, lets them go together and waits for all.
std::vector<DWORD> runTogether(const std::vector<std::wstring>& arguments, const ChildProcess::Environment& environment,
                               StartGate& gate) {
  std::vector<std::unique_ptr<ChildProcess>> children;
  for (const std::wstring& argument : arguments) {
    children.push_back(std::make_unique<ChildProcess>(argument + L" " + gate.name(), environment));
    if (!children.back()->started()) ADD_FAILURE() << "cannot start " << wideToNarrow(ChildProcess::writerPath());
  }
  gate.open();
  std::vector<DWORD> codes;
  for (auto& child : children) codes.push_back(child->wait());
  return codes;
}

// Several processes append to one file and rotate it as they go. Every line
// must come out whole, exactly once and, for each writer, in order across
// the files; each older file must have been rotated once it was full, by
// one process only (a second rotation would leave a file short) and not be
// written to afterwards (as by a process that missed the rotation).
TEST(LogProcessTest, ProcessesAppendingAndRotatingKeepWholeLines) {
  constexpr int kWriters = 3;
  constexpr int kLines = 1500;
  constexpr std::uint64_t kMaxBytes = 16384;
  constexpr int kKeep = 500;  // enough that no line is deleted
  constexpr std::size_t kLineSize = 64;  // without the line end
  TestDirectory directory;
  const std::wstring path = directory.file(L"shared.log");

  StartGate gate;
  std::vector<std::wstring> arguments;
  for (int w = 0; w < kWriters; ++w) {
    arguments.push_back(L"file \"" + path + L"\" " + std::to_wstring(kMaxBytes) + L" " + std::to_wstring(kKeep) + L" " +
                        std::to_wstring(kLines) + L" w" + std::to_wstring(w));
  }
  for (DWORD code : runTogether(arguments, {}, gate)) EXPECT_EQ(code, 0u);

  const LogLines lines = LogLines::readRotated(path, kKeep);
  EXPECT_TRUE(lines.partial.empty()) << lines.partial.substr(0, 200);
  EXPECT_FALSE(lines.strayLineEnds);
  std::map<std::string, int> lastNumber;
  std::size_t total = 0;
  for (const std::string& line : lines.lines) {
    ASSERT_EQ(line.size(), kLineSize) << "broken line: " << line;
    const std::size_t blank = line.find(' ');
    ASSERT_NE(blank, std::string::npos) << line;
    const std::string writer = line.substr(0, blank);
    const int number = std::stoi(line.substr(blank + 1));
    const auto [entry, first] = lastNumber.emplace(writer, -1);
    EXPECT_EQ(number, entry->second + 1) << "writer " << writer << " out of order or lost a line";
    entry->second = number;
    ++total;
  }
  EXPECT_EQ(total, static_cast<std::size_t>(kWriters * kLines));

  int rotated = 0;
  for (int index = 1; index <= kKeep; ++index) {
    const std::wstring older = LogFile::rotatedPath(path, index);
    if (::GetFileAttributesW(older.c_str()) == INVALID_FILE_ATTRIBUTES) break;
    ++rotated;
    const std::uint64_t size = fileSize(older);
    // Rotated right after the line that filled it, and not written to by
    // any process after that.
    EXPECT_GE(size, kMaxBytes) << "rotated before it was full: " << index;
    EXPECT_LT(size, kMaxBytes + kLineSize + 2) << "written to after it was full: " << index;
  }
  EXPECT_GE(rotated, 10);
}

// The usual case: two instances of one program log through the library into
// their shared file under the local application data folder.
TEST(LogProcessTest, ProgramsShareTheirLogFileUnderLocalAppData) {
  constexpr int kLines = 300;  // each at four levels
  TestDirectory directory;
  const std::wstring expectedPath = directory.path() + L"\\Mirdex\\logs\\logging_test_writer.log";
  const ChildProcess::Environment environment = {{L"LOCALAPPDATA", directory.path()}, {L"MIRDEX_LOG_LEVEL", L"1"}};

  StartGate gate;
  const auto codes = runTogether({L"manager " + std::to_wstring(kLines) + L" first",
                                  L"manager " + std::to_wstring(kLines) + L" second"},
                                 environment, gate);
  for (DWORD code : codes) EXPECT_EQ(code, 0u);

  const LogLines lines = LogLines::read(expectedPath);
  EXPECT_TRUE(lines.partial.empty());
  EXPECT_FALSE(lines.strayLineEnds);
  std::set<std::string> seen;
  for (const std::string& line : lines.lines) {
    const auto parsed = parseLine(line);
    ASSERT_TRUE(parsed) << "broken line: " << line;
    EXPECT_EQ(parsed->category, "writer");
    EXPECT_TRUE(seen.insert(parsed->message).second) << line;
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(2 * 4 * kLines));
  EXPECT_EQ(seen.count("first 0 debug"), 1u);
  EXPECT_EQ(seen.count("second " + std::to_string(kLines - 1) + " error"), 1u);
}

// A new process reads the threshold from its environment at start.
TEST(LogProcessTest, ChildReadsItsThresholdAtStart) {
  TestDirectory directory;
  StartGate gate;
  const auto codes = runTogether({L"manager 2 levels"},
                                 {{L"LOCALAPPDATA", directory.path()}, {L"MIRDEX_LOG_LEVEL", L"warn"}}, gate);
  ASSERT_EQ(codes, std::vector<DWORD>{0});

  const LogLines lines = LogLines::read(directory.path() + L"\\Mirdex\\logs\\logging_test_writer.log");
  std::vector<std::string> messages;
  for (const std::string& line : lines.lines) {
    const auto parsed = parseLine(line);
    ASSERT_TRUE(parsed) << line;
    messages.push_back(parsed->message);
  }
  EXPECT_EQ(messages, (std::vector<std::string>{"levels 0 warn", "levels 0 error", "levels 1 warn", "levels 1 error"}));
}

// When the log folder cannot be made, the program logs on regardless and
// ends normally.
TEST(LogProcessTest, UncreatableLogFolderDoesNotStopTheProgram) {
  TestDirectory directory;
  const std::wstring blocker = directory.file(L"blocker");
  KernelHandle(::CreateFileW(blocker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));

  StartGate gate;
  const auto codes = runTogether({L"manager 50 blocked"}, {{L"LOCALAPPDATA", blocker}, {L"MIRDEX_LOG_LEVEL", L"1"}}, gate);
  EXPECT_EQ(codes, std::vector<DWORD>{0});
  EXPECT_EQ(::GetFileAttributesW((blocker + L"\\Mirdex").c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
