#pragma once
// A destination for log records beside the log file, attached in process
// with LoggerManager::addAppender (tests read what was logged through one).
#include "LogRecord.h"

class LogAppender {
public:
  virtual ~LogAppender() = default;

  // Called for every record that passes the level threshold, one call at a
  // time across all threads, under the library's appender lock: keep it
  // short, and never log from inside it.
  virtual void append(const LogRecord& record) = 0;
};
