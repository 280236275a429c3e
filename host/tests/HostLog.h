#pragma once
// The lines that Mirdex.exe appended to its log file (the one all its
// processes share) since this object was made.
#include <cstdint>
#include <string>
#include <vector>

class HostLog {
public:
  HostLog();

  std::vector<std::string> newLines() const;
  // Waits (generously) until a new line contains text; lines receives the
  // new lines as last read. False on time-out.
  bool waitFor(const std::string& text, std::vector<std::string>& lines) const;

  static bool contains(const std::vector<std::string>& lines, const std::string& text);

private:
  std::uint64_t size() const;

  std::wstring m_path;
  std::uint64_t m_start;
};
