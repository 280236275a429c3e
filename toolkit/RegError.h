#pragma once
// The record a decoder throws when the bytes it reads are not a valid
// encoding. Thrown by value, caught by reference. `where` and `text` point to
// static strings; `line` is the raise site, kept for diagnostics only.
#include <source_location>

struct RegError {
  const char* where;
  int line;
  int code;
  const char* text;

  explicit RegError(const char* where_, const char* text_ = "",
                    std::source_location site = std::source_location::current()) noexcept
      : where(where_),
        line(static_cast<int>(site.line())),
        code(-1),
        text(text_ ? text_ : "") {}
};
