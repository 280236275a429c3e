#include "EnvironmentOverride.h"
#include "LogCapture.h"
#include "LogLines.h"
#include "Logger.h"
#include "LoggerManager.h"
#include "LoggingKey.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <tuple>
#include <vector>

namespace {

// Every level on, whatever the registry of the machine says.
class LoggingTest : public ::testing::Test {
protected:
  EnvironmentOverride m_level{L"MIRDEX_LOG_LEVEL", L"1"};
  LogCapture m_capture;
};

ULONGLONG fileTime(const SYSTEMTIME& time) {
  FILETIME file;
  ::SystemTimeToFileTime(&time, &file);
  return (static_cast<ULONGLONG>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
}

TEST(LoggerManagerTest, EachCategoryHasOneLoggerForAllThreads) {
  std::vector<Logger*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&seen, i] { seen[i] = LoggerManager::get("shared.category"); });
  }
  for (std::thread& thread : threads) thread.join();
  ASSERT_NE(seen[0], nullptr);
  for (Logger* logger : seen) EXPECT_EQ(logger, seen[0]);
  EXPECT_STREQ(seen[0]->name(), "shared.category");

  Logger* root = LoggerManager::get(nullptr);
  ASSERT_NE(root, nullptr);
  EXPECT_STREQ(root->name(), "root");
  EXPECT_EQ(LoggerManager::get(""), root);
  EXPECT_EQ(LoggerManager::get("root"), root);
  EXPECT_NE(LoggerManager::get("other.category"), seen[0]);
  EXPECT_NE(LoggerManager::get("other.category"), root);
}

TEST_F(LoggingTest, LineHasTimeLevelThreadCategoryAndText) {
  const std::string tag = uniqueTag("layout");
  SYSTEMTIME before;
  ::GetLocalTime(&before);
  LoggerManager::get("line.layout")->info("CLayout::check: %s %d", tag.c_str(), 42);
  SYSTEMTIME after;
  ::GetLocalTime(&after);

  const auto records = m_capture.records("line.layout");
  ASSERT_EQ(records.size(), 1u);
  const LogCapture::Record& record = records[0];
  EXPECT_EQ(record.message, "CLayout::check: " + tag + " 42");
  EXPECT_EQ(record.level, Logger::kInfo);
  EXPECT_EQ(record.threadId, ::GetCurrentThreadId());

  const auto parsed = parseLine(record.line);
  ASSERT_TRUE(parsed) << record.line;
  EXPECT_EQ(parsed->level, "INFO");
  EXPECT_EQ(parsed->threadId, ::GetCurrentThreadId());
  EXPECT_EQ(parsed->category, "line.layout");
  EXPECT_EQ(parsed->message, record.message);
  EXPECT_LE(fileTime(before), fileTime(parsed->time));
  EXPECT_LE(fileTime(parsed->time), fileTime(after));

  // The file has the same line, once, with its line end.
  const LogLines file = LogLines::readRotated(LoggerManager::logFilePath(), LoggerManager::kKeepFiles);
  EXPECT_EQ(file.containing(tag), std::vector<std::string>{record.line});
}

TEST_F(LoggingTest, FileIsNamedAfterTheProgramUnderLocalAppData) {
  wchar_t folder[MAX_PATH];
  const DWORD length = ::GetEnvironmentVariableW(L"LOCALAPPDATA", folder, MAX_PATH);
  ASSERT_GT(length, 0u) << "the test prefix provides LOCALAPPDATA";
  EXPECT_EQ(LoggerManager::logFilePath(), std::wstring(folder, length) + L"\\Mirdex\\logs\\logging_tests.log");
}

TEST_F(LoggingTest, LevelsAreNamedAndOutOfRangeLevelsClamped) {
  const struct {
    int level;
    int recorded;
    const char* name;
  } cases[] = {{1, 1, "DEBUG"}, {2, 2, "INFO"},   {3, 3, "WARN"},  {4, 4, "ERROR"},
               {0, 1, "DEBUG"}, {-7, 1, "DEBUG"}, {5, 4, "ERROR"}, {1000, 4, "ERROR"}};
  Logger* logger = LoggerManager::get("level.names");
  for (const auto& c : cases) logger->log(c.level, "level %d", c.level);
  logger->debug("by name");
  logger->info("by name");
  logger->warn("by name");
  logger->error("by name");

  const auto records = m_capture.records("level.names");
  ASSERT_EQ(records.size(), std::size(cases) + 4);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].level);
    EXPECT_EQ(records[i].level, cases[i].recorded);
    EXPECT_EQ(records[i].message, "level " + std::to_string(cases[i].level));
    const auto parsed = parseLine(records[i].line);
    ASSERT_TRUE(parsed) << records[i].line;
    EXPECT_EQ(parsed->level, cases[i].name);
  }
  for (int level = 1; level <= 4; ++level) EXPECT_EQ(records[std::size(cases) + level - 1].level, level);
}

TEST_F(LoggingTest, ThreadsLoggingAtOnceWriteWholeLinesAndLoseNone) {
  constexpr int kThreads = 8;
  constexpr int kLines = 250;
  const std::string tag = uniqueTag("threads");
  const std::string padding(120, 'p');
  Logger* logger = LoggerManager::get("many.threads");

  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ready.fetch_add(1);
      while (ready.load() < kThreads) std::this_thread::yield();
      for (int i = 0; i < kLines; ++i) logger->info("%s %d %d %s", tag.c_str(), t, i, padding.c_str());
    });
  }
  for (std::thread& thread : threads) thread.join();

  EXPECT_EQ(m_capture.records("many.threads").size(), static_cast<std::size_t>(kThreads * kLines));

  const LogLines file = LogLines::readRotated(LoggerManager::logFilePath(), LoggerManager::kKeepFiles);
  std::set<std::pair<int, int>> found;
  for (const std::string& line : file.containing(tag)) {
    const auto parsed = parseLine(line);
    ASSERT_TRUE(parsed) << "broken line: " << line;
    int t = -1;
    int i = -1;
    char rest[200] = {};
    ASSERT_EQ(std::sscanf(parsed->message.c_str() + tag.size(), " %d %d %199s", &t, &i, rest), 3) << line;
    EXPECT_EQ(rest, padding) << line;
    EXPECT_TRUE(found.emplace(t, i).second) << "line written twice: " << line;
  }
  EXPECT_EQ(found.size(), static_cast<std::size_t>(kThreads * kLines));
}

// The appender is detached while another thread logs without pause: once
// removeAppender has returned, it must not be called again (the test could
// destroy it at that point).
TEST_F(LoggingTest, RemovedAppenderIsNotCalledAgain) {
  struct CountingAppender : LogAppender {
    std::atomic<int> calls{0};
    std::atomic<bool> removed{false};
    std::atomic<int> callsAfterRemoval{0};
    void append(const LogRecord&) override {
      calls.fetch_add(1);
      if (removed.load()) callsAfterRemoval.fetch_add(1);
    }
  } appender;

  LoggerManager::addAppender(&appender);
  std::atomic<bool> stop{false};
  std::thread writer([&stop] {
    Logger* logger = LoggerManager::get("appender.removal");
    while (!stop.load()) logger->debug("busy");
  });
  while (appender.calls.load() < 50) std::this_thread::yield();
  LoggerManager::removeAppender(&appender);
  appender.removed.store(true);
  ::Sleep(50);
  stop.store(true);
  writer.join();
  EXPECT_EQ(appender.callsAfterRemoval.load(), 0);
}

// An appender that logs must not send the library round in circles: its
// line goes to the file only.
TEST_F(LoggingTest, LineLoggedFromAnAppenderDoesNotComeBackToIt) {
  struct LoggingAppender : LogAppender {
    std::string tag;
    std::atomic<int> calls{0};
    void append(const LogRecord& record) override {
      if (record.category != "appender.logs") return;
      calls.fetch_add(1);
      LoggerManager::get("appender.logs")->info("%s from the appender", tag.c_str());
    }
  } appender;
  appender.tag = uniqueTag("nested");

  LoggerManager::addAppender(&appender);
  LoggerManager::get("appender.logs")->info("%s outer", appender.tag.c_str());
  LoggerManager::removeAppender(&appender);

  EXPECT_EQ(appender.calls.load(), 1);
  const LogLines file = LogLines::readRotated(LoggerManager::logFilePath(), LoggerManager::kKeepFiles);
  EXPECT_EQ(file.containing(appender.tag).size(), 2u);
}

TEST(LoggingKeyTest, SetkeyAcceptsOnlyTheLibraryKey) {
  std::vector<unsigned char> longer(kLoggingKey, kLoggingKey + kLoggingKeyLength);
  longer.push_back(0);
  std::vector<unsigned char> changed(kLoggingKey, kLoggingKey + kLoggingKeyLength);
  changed[kLoggingKeyLength / 2] ^= 0x01;
  const int length = static_cast<int>(kLoggingKeyLength);

  const struct {
    const char* name;
    const void* key;
    int length;
    bool accepted;
  } cases[] = {
      {"the library key", kLoggingKey, length, true},
      {"null key", nullptr, length, false},
      {"one byte short", kLoggingKey, length - 1, false},
      {"one byte long", longer.data(), length + 1, false},
      {"negative length", kLoggingKey, -1, false},
      {"one bit changed", changed.data(), length, false},
  };
  for (const auto& c : cases) EXPECT_EQ(LoggerManager::setkey(c.key, c.length), c.accepted) << c.name;

  // The outcome changes nothing for logging.
  EnvironmentOverride level(L"MIRDEX_LOG_LEVEL", L"1");
  LogCapture capture;
  LoggerManager::get("after.setkey")->debug("still logging");
  EXPECT_EQ(capture.records("after.setkey").size(), 1u);
}

}  // namespace
