#pragma once
// A logger of one category. Loggers are made and owned by LoggerManager and
// live as long as the process: take one once with LoggerManager::get and
// keep the pointer; never delete it.
//
// Messages are printf-style: "%s" narrow text (written as given), "%S" or
// "%ls" wide text (converted to the calling thread's ANSI code page), and the
// usual integer, pointer and floating-point conversions ("%d", "%X", "%lld",
// "%llX", "%zu", "%p", ...). With GCC the format is checked against the
// arguments' types at compile time; DWORD, LONG and HRESULT are long there,
// so they want "%lu", "%ld" and "%lX". Text that is not meant as a format
// must go in as an argument ("%s"), never as the format.
//
// Every member may be called from any thread at any time and never throws.
#include <cstdarg>
#include <memory>
#include <string>

#if defined(__clang__)
#define MIRDEX_LOG_FORMAT(formatIndex, firstArg) __attribute__((format(printf, formatIndex, firstArg)))
#elif defined(__GNUC__)
#define MIRDEX_LOG_FORMAT(formatIndex, firstArg) __attribute__((format(gnu_printf, formatIndex, firstArg)))
#else
#define MIRDEX_LOG_FORMAT(formatIndex, firstArg)
#endif

#if defined(_MSC_VER)
#include <sal.h>
#define MIRDEX_LOG_FORMAT_STRING _Printf_format_string_
#else
#define MIRDEX_LOG_FORMAT_STRING
#endif

class Logger {
public:
  // The numeric levels of log, enabled and LogRecord::level. Levels below
  // debug count as debug and levels above error as error.
  static constexpr int kDebug = 1;
  static constexpr int kInfo = 2;
  static constexpr int kWarn = 3;
  static constexpr int kError = 4;

  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  void debug(MIRDEX_LOG_FORMAT_STRING const char* format, ...) noexcept MIRDEX_LOG_FORMAT(2, 3);
  void info(MIRDEX_LOG_FORMAT_STRING const char* format, ...) noexcept MIRDEX_LOG_FORMAT(2, 3);
  void warn(MIRDEX_LOG_FORMAT_STRING const char* format, ...) noexcept MIRDEX_LOG_FORMAT(2, 3);
  void error(MIRDEX_LOG_FORMAT_STRING const char* format, ...) noexcept MIRDEX_LOG_FORMAT(2, 3);
  void log(int level, MIRDEX_LOG_FORMAT_STRING const char* format, ...) noexcept MIRDEX_LOG_FORMAT(3, 4);
  void vlog(int level, const char* format, va_list args) noexcept MIRDEX_LOG_FORMAT(3, 0);

  // Whether a message at this level is written at the current threshold.
  bool enabled(int level) const noexcept;

  // The category; "root" for the root logger.
  const char* name() const noexcept { return m_name.c_str(); }

private:
  friend class LoggerManager;
  friend struct std::default_delete<Logger>;

  explicit Logger(std::string name);
  ~Logger();

  const std::string m_name;
};
