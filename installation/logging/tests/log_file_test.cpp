#include "LogFile.h"
#include "LogLines.h"
#include "TestDirectory.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

// A line of exactly `width` bytes, line end included.
std::string numberedLine(const std::string& tag, int number, std::size_t width = 100) {
  std::string line = tag + " " + std::to_string(number) + " ";
  line.append(width - 2 - line.size(), 'x');
  return line + "\r\n";
}

int numberOf(const std::string& line) {
  const std::size_t blank = line.find(' ');
  return std::stoi(line.substr(blank + 1));
}

std::uint64_t fileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA info;
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info)) return 0;
  return (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}

bool exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class LogFileTest : public ::testing::Test {
protected:
  TestDirectory m_directory;
  const std::wstring m_path = m_directory.file(L"app.log");
};

TEST_F(LogFileTest, RotationKeepsTheNewestFilesInOrder) {
  LogFile file(m_path, 1000, 3);
  for (int i = 0; i < 65; ++i) ASSERT_TRUE(file.append(numberedLine("r", i)));

  EXPECT_EQ(file.rotatedPath(1), m_directory.file(L"app.1.log"));
  for (int index = 1; index <= 3; ++index) {
    EXPECT_EQ(fileSize(file.rotatedPath(index)), 1000u) << index;
  }
  EXPECT_FALSE(exists(file.rotatedPath(4)));
  EXPECT_EQ(m_directory.files().size(), 4u) << "nothing but the log and three older files";

  // Oldest kept file first: one unbroken run up to the last line written.
  const LogLines lines = LogLines::readRotated(m_path, 3);
  EXPECT_TRUE(lines.partial.empty());
  ASSERT_EQ(lines.lines.size(), 35u);
  for (std::size_t i = 0; i < lines.lines.size(); ++i) EXPECT_EQ(numberOf(lines.lines[i]), 30 + static_cast<int>(i));
}

TEST_F(LogFileTest, KeepingNoOlderFilesStartsTheFileAfresh) {
  LogFile file(m_path, 500, 0);
  for (int i = 0; i < 12; ++i) ASSERT_TRUE(file.append(numberedLine("z", i)));
  EXPECT_FALSE(exists(file.rotatedPath(1)));
  const LogLines lines = LogLines::read(m_path);
  ASSERT_EQ(lines.lines.size(), 2u);
  EXPECT_EQ(numberOf(lines.lines[0]), 10);
}

// Two writers of one path (as two processes would be): when one rotates,
// the other's next line goes to the new file, not to the renamed one.
TEST_F(LogFileTest, WriterNoticesRotationByAnotherWriter) {
  LogFile first(m_path, 250, 5);
  LogFile second(m_path, 250, 5);
  ASSERT_TRUE(second.append(numberedLine("second", 0)));
  ASSERT_TRUE(first.append(numberedLine("first", 1)));
  ASSERT_TRUE(first.append(numberedLine("first", 2)));  // 300 bytes: rotated
  ASSERT_TRUE(second.append(numberedLine("second", 3)));

  const LogLines current = LogLines::read(m_path);
  const LogLines older = LogLines::read(first.rotatedPath(1));
  EXPECT_EQ(current.lines, std::vector<std::string>{numberedLine("second", 3).substr(0, 98)});
  ASSERT_EQ(older.lines.size(), 3u);
  EXPECT_EQ(numberOf(older.lines[0]), 0);
  EXPECT_EQ(numberOf(older.lines[2]), 2);
}

TEST_F(LogFileTest, ThreadsAppendingAtOnceKeepEveryLineWhole) {
  constexpr int kThreads = 8;
  constexpr int kLines = 400;
  constexpr std::uint64_t kMaxBytes = 20000;
  constexpr int kKeep = 1000;  // enough that no line is deleted
  LogFile file(m_path, kMaxBytes, kKeep);

  std::atomic<int> ready{0};
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ready.fetch_add(1);
      while (ready.load() < kThreads) std::this_thread::yield();
      const std::string tag = "t" + std::to_string(t);
      for (int i = 0; i < kLines; ++i) {
        if (!file.append(numberedLine(tag, i))) failures.fetch_add(1);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);

  const LogLines lines = LogLines::readRotated(m_path, kKeep);
  EXPECT_TRUE(lines.partial.empty());
  EXPECT_FALSE(lines.strayLineEnds);
  std::set<std::string> seen;
  for (const std::string& line : lines.lines) {
    ASSERT_EQ(line.size(), 98u) << line;
    EXPECT_TRUE(seen.insert(line.substr(0, line.find(" x"))).second) << line;
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLines));
  // Rotated right after the line that filled it: never early, never later.
  for (int index = 1; exists(file.rotatedPath(index)); ++index) {
    const std::uint64_t size = fileSize(file.rotatedPath(index));
    EXPECT_GE(size, kMaxBytes) << "rotated before it was full: " << index;
    EXPECT_LT(size, kMaxBytes + 100) << "written to after it was full: " << index;
  }
}

// A reader that does not let the file be renamed holds up rotation; the
// lines must still all arrive, in the current file.
TEST_F(LogFileTest, LinesAreKeptWhileRotationIsBlocked) {
  LogFile file(m_path, 300, 2);
  ASSERT_TRUE(file.append(numberedLine("b", 0)));
  KernelHandle reader(::CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(reader);
  for (int i = 1; i < 10; ++i) ASSERT_TRUE(file.append(numberedLine("b", i)));
  reader.reset();

  EXPECT_FALSE(exists(file.rotatedPath(1))) << "renamed although a reader refused it";
  const LogLines lines = LogLines::read(m_path);
  ASSERT_EQ(lines.lines.size(), 10u);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(numberOf(lines.lines[static_cast<std::size_t>(i)]), i);
}

TEST_F(LogFileTest, UncreatableFolderFailsQuietly) {
  const std::wstring blocker = m_directory.file(L"blocker");
  KernelHandle(::CreateFileW(blocker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(exists(blocker));

  LogFile file(blocker + L"\\logs\\app.log", 200, 2);
  for (int i = 0; i < 100; ++i) EXPECT_FALSE(file.append(numberedLine("u", i)));
  EXPECT_FALSE(exists(blocker + L"\\logs"));
}

}  // namespace
