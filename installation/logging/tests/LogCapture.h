#pragma once
// An appender that keeps copies of the records it gets, attached for its
// lifetime.
#include "CriticalSection.h"
#include "LogAppender.h"
#include "LoggerManager.h"

#include <string>
#include <vector>

class LogCapture : public LogAppender {
public:
  struct Record {
    SYSTEMTIME time;
    int level;
    DWORD threadId;
    std::string category;
    std::string message;
    std::string line;
  };

  LogCapture() { LoggerManager::addAppender(this); }
  ~LogCapture() override { LoggerManager::removeAppender(this); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  void append(const LogRecord& record) override {
    Record copy{record.time,
                record.level,
                record.threadId,
                std::string(record.category),
                std::string(record.message),
                std::string(record.line)};
    CriticalSectionLock lock(m_lock);
    m_records.push_back(std::move(copy));
  }

  // The records of one category, in the order they came.
  std::vector<Record> records(const std::string& category) const {
    CriticalSectionLock lock(m_lock);
    std::vector<Record> found;
    for (const Record& record : m_records) {
      if (record.category == category) found.push_back(record);
    }
    return found;
  }

private:
  mutable CriticalSection m_lock;
  std::vector<Record> m_records;
};
