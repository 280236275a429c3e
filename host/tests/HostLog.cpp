#include "HostLog.h"

#include "HostProcess.h"

#include <windows.h>
#include <shlobj.h>

#include <fstream>

namespace {

std::wstring logPath() {
  wchar_t folder[MAX_PATH] = {};
  ::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
  return std::wstring(folder) + L"\\Mirdex\\logs\\Mirdex.log";
}

}  // namespace

HostLog::HostLog() : m_path(logPath()), m_start(size()) {}

std::vector<std::string> HostLog::newLines() const {
  std::vector<std::string> lines;
  std::ifstream in(m_path.c_str(), std::ios::binary);
  if (!in) return lines;
  in.seekg(static_cast<std::streamoff>(m_start));
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

bool HostLog::waitFor(const std::string& text, std::vector<std::string>& lines) const {
  const ULONGLONG end = ::GetTickCount64() + HostProcess::kLongWait;
  for (;;) {
    lines = newLines();
    if (contains(lines, text)) return true;
    if (::GetTickCount64() > end) return false;
    ::Sleep(100);
  }
}

bool HostLog::contains(const std::vector<std::string>& lines, const std::string& text) {
  for (const std::string& line : lines) {
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

std::uint64_t HostLog::size() const {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(m_path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}
