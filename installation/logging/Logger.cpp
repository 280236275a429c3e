#include "Logger.h"

#include "LoggerManager.h"

#include <utility>

Logger::Logger(std::string name) : m_name(std::move(name)) {}

Logger::~Logger() = default;

bool Logger::enabled(int level) const noexcept {
  return LoggerManager::levelEnabled(level);
}

void Logger::vlog(int level, const char* format, va_list args) noexcept {
  if (!enabled(level)) return;
  LoggerManager::instance().write(*this, level, format, args);
}

void Logger::log(int level, const char* format, ...) noexcept {
  va_list args;
  va_start(args, format);
  vlog(level, format, args);
  va_end(args);
}

void Logger::debug(const char* format, ...) noexcept {
  va_list args;
  va_start(args, format);
  vlog(kDebug, format, args);
  va_end(args);
}

void Logger::info(const char* format, ...) noexcept {
  va_list args;
  va_start(args, format);
  vlog(kInfo, format, args);
  va_end(args);
}

void Logger::warn(const char* format, ...) noexcept {
  va_list args;
  va_start(args, format);
  vlog(kWarn, format, args);
  va_end(args);
}

void Logger::error(const char* format, ...) noexcept {
  va_list args;
  va_start(args, format);
  vlog(kError, format, args);
  va_end(args);
}
