#include "LogLines.h"

#include "LogFile.h"
#include "UniqueHandle.h"

#include <atomic>
#include <regex>

namespace {

std::string readFile(const std::wstring& path) {
  KernelHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string content;
  if (!file) return content;
  char buffer[65536];
  DWORD read = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read != 0) content.append(buffer, read);
  return content;
}

}  // namespace

LogLines LogLines::read(const std::wstring& path) {
  LogLines result;
  const std::string content = readFile(path);
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = content.find("\r\n", start);
    if (end == std::string::npos) break;
    std::string line = content.substr(start, end - start);
    if (line.find_first_of("\r\n") != std::string::npos) result.strayLineEnds = true;
    result.lines.push_back(std::move(line));
    start = end + 2;
  }
  result.partial = content.substr(start);
  return result;
}

LogLines LogLines::readRotated(const std::wstring& path, int keep) {
  LogLines result;
  for (int index = keep; index >= 0; --index) {
    LogLines file = read(index == 0 ? path : LogFile::rotatedPath(path, index));
    result.lines.insert(result.lines.end(), file.lines.begin(), file.lines.end());
    result.partial += file.partial;
    result.strayLineEnds = result.strayLineEnds || file.strayLineEnds;
  }
  return result;
}

std::vector<std::string> LogLines::containing(const std::string& text) const {
  std::vector<std::string> found;
  for (const std::string& line : lines) {
    if (line.find(text) != std::string::npos) found.push_back(line);
  }
  return found;
}

std::wstring narrowToWide(const std::string& text) {
  if (text.empty()) return {};
  const int length = ::MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string wideToNarrow(const std::wstring& text) {
  if (text.empty()) return {};
  const int length = ::WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length,
                        nullptr, nullptr);
  return narrow;
}

std::optional<ParsedLine> parseLine(const std::string& line) {
  static const std::regex layout(
      R"(^(\d{4})-(\d{2})-(\d{2}) (\d{2}):(\d{2}):(\d{2})\.(\d{3}) (DEBUG|INFO |WARN |ERROR) \[(\d+)\] (\S+) - (.*)$)");
  std::smatch match;
  if (!std::regex_match(line, match, layout)) return std::nullopt;
  ParsedLine parsed{};
  WORD* fields[] = {&parsed.time.wYear, &parsed.time.wMonth,  &parsed.time.wDay,         &parsed.time.wHour,
                    &parsed.time.wMinute, &parsed.time.wSecond, &parsed.time.wMilliseconds};
  for (int i = 0; i < 7; ++i) *fields[i] = static_cast<WORD>(std::stoi(match[i + 1].str()));
  parsed.level = match[8].str();
  while (parsed.level.back() == ' ') parsed.level.pop_back();
  parsed.threadId = std::stoul(match[9].str());
  parsed.category = match[10].str();
  parsed.message = match[11].str();
  return parsed;
}

std::string uniqueTag(const char* prefix) {
  static std::atomic<unsigned> counter{0};
  return std::string(prefix) + "-" + std::to_string(::GetCurrentProcessId()) + "-" +
         std::to_string(::GetTickCount64()) + "-" + std::to_string(counter++);
}
