#pragma once
// One logged call as the appenders see it. The views point into the
// library's buffers and are valid only during LogAppender::append.
#include <windows.h>

#include <string_view>

struct LogRecord {
  SYSTEMTIME time;             // local time of the call
  int level;                   // 1 debug, 2 info, 3 warn, 4 error
  DWORD threadId;              // the calling thread
  std::string_view category;   // the logger's name
  std::string_view message;    // the formatted text, as the caller gave it
  std::string_view line;       // the whole line as written to the file, without its line end
};
