#pragma once
// The logging library's one object per process: it hands out the loggers,
// keeps the level threshold and writes every line.
//
// Lines look like
//   2024-05-06 14:03:22.117 INFO  [5124] controller - text
// (local time to the millisecond, level, thread id, category, message) and
// are appended to %LOCALAPPDATA%\Mirdex\logs\<program>.log, where <program>
// is the file name of the process's executable without its extension. The
// file is shared by all processes of that program and rotated by size,
// keeping kKeepFiles older files (<program>.1.log newest).
//
// The threshold comes from HKEY_CURRENT_USER\Software\Mirdex\Log, value
// "Level" (REG_DWORD 1 debug, 2 info, 3 warn, 4 error); the environment
// variable MIRDEX_LOG_LEVEL (a number 1-4 or debug, info, warn, error)
// overrides it. A value outside these is ignored, leaving the next source or
// the default, info. Both are read when the library is first used and again
// by reloadConfiguration.
//
// Logging works whether setkey was called or not; nothing here throws from a
// logging call, and a line that cannot be written is dropped.
#include "CriticalSection.h"
#include "LogFile.h"

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class LogAppender;
class Logger;
struct LogRecord;

class LoggerManager {
public:
  static constexpr std::uint64_t kMaxFileBytes = 4 * 1024 * 1024;
  static constexpr int kKeepFiles = 4;
  static constexpr int kDefaultLevel = 2;

  // Hands the library its key (see LoggingKey.h); true when the key is the
  // library's. A wrong key is reported in the log; logging goes on anyway.
  static bool setkey(const void* key, int length) noexcept;

  // The logger of a category; null or "" gives the root logger, whose name
  // is "root". The same category always gives the same logger.
  static Logger* get(const char* category) noexcept;

  // The full path of the current log file of this process.
  static std::wstring logFilePath();

  // Attaches an appender that receives every record written from now on, or
  // detaches it; once removeAppender returns, the appender is not called
  // any more and may be destroyed. Neither may be called from an appender.
  static void addAppender(LogAppender* appender);
  static void removeAppender(LogAppender* appender) noexcept;

  // Reads the threshold again from the registry and the environment.
  static void reloadConfiguration() noexcept;
  static int threshold() noexcept;

private:
  friend class Logger;

  LoggerManager();
  ~LoggerManager() = delete;  // lives until the process ends

  static LoggerManager& instance() noexcept;
  static bool levelEnabled(int level) noexcept;
  void write(const Logger& logger, int level, const char* format, va_list args) noexcept;
  void dispatch(const LogRecord& record) noexcept;

  std::atomic<int> m_threshold;
  LogFile m_file;

  CriticalSection m_loggersLock;
  std::map<std::string, std::unique_ptr<Logger>, std::less<>> m_loggers;
  Logger* m_root = nullptr;

  // Appenders are called one at a time, under this lock; the count lets
  // writers skip it while none is attached.
  CriticalSection m_appendersLock;
  std::vector<LogAppender*> m_appenders;
  std::atomic<std::size_t> m_appenderCount{0};
};
