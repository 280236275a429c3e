#pragma once
// Reading back what was written to log files, line by line.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

class LogLines {
public:
  // The lines of a file (CR LF ends, which are not part of the lines). A
  // last line without its end is kept in `partial`.
  static LogLines read(const std::wstring& path);
  // The lines of a rotated set: the oldest kept file first, the current
  // file last. Missing files add nothing.
  static LogLines readRotated(const std::wstring& path, int keep);

  std::vector<std::string> lines;
  std::string partial;
  // Bytes that were not followed by CR LF but by a lone CR or LF.
  bool strayLineEnds = false;

  // The lines that contain text.
  std::vector<std::string> containing(const std::string& text) const;
};

std::wstring narrowToWide(const std::string& text);
std::string wideToNarrow(const std::wstring& text);

// A line of the library's layout, taken apart.
struct ParsedLine {
  SYSTEMTIME time;
  std::string level;  // "DEBUG", "INFO", "WARN" or "ERROR"
  unsigned long threadId;
  std::string category;
  std::string message;
};
std::optional<ParsedLine> parseLine(const std::string& line);

// A text no other test or process uses, for finding one's own lines in a
// file that others write too.
std::string uniqueTag(const char* prefix);
