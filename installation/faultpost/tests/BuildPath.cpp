#include "BuildPath.h"

std::wstring BuildPath::windows(const char* buildMachinePath) {
  std::wstring path;
  for (const char* c = buildMachinePath; *c; ++c) {
    path += *c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*c));
  }
  if (!path.empty() && path.front() == L'\\') path.insert(0, L"Z:");
  return path;
}

std::wstring BuildPath::folder(const std::wstring& path) {
  const std::size_t separator = path.find_last_of(L'\\');
  return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}
