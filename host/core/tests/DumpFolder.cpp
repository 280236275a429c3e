#include "DumpFolder.h"

#include "UniqueHandle.h"

#include <shlobj.h>

#include <regex>

namespace {

std::wstring escapeForPattern(const std::wstring& text) {
  static const std::wstring special = L"\\^$.|?*+()[]{}";
  std::wstring out;
  for (wchar_t c : text) {
    if (special.find(c) != std::wstring::npos) out += L'\\';
    out += c;
  }
  return out;
}

}  // namespace

DumpFolder::DumpFolder() {
  wchar_t local[MAX_PATH] = {};
  if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, local))) {
    m_path = std::wstring(local) + L"\\Mirdex\\logs";
  }
  for (const std::wstring& name : files()) m_before.insert(name);
}

DumpFolder::~DumpFolder() {
  for (const std::wstring& name : newFiles()) ::DeleteFileW((m_path + L"\\" + name).c_str());
}

std::vector<std::wstring> DumpFolder::files() const {
  std::vector<std::wstring> names;
  if (m_path.empty()) return names;
  WIN32_FIND_DATAW data;
  FindHandle search(::FindFirstFileW((m_path + L"\\*").c_str(), &data));
  if (!search) return names;
  do {
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.emplace_back(data.cFileName);
  } while (::FindNextFileW(search.get(), &data));
  return names;
}

std::vector<std::wstring> DumpFolder::newFiles() const {
  std::vector<std::wstring> names;
  for (std::wstring& name : files()) {
    if (m_before.count(name) == 0) names.push_back(std::move(name));
  }
  return names;
}

std::optional<DumpFolder::Dump> DumpFolder::parse(const std::wstring& name,
                                                  const std::wstring& program,
                                                  const std::wstring& tag) {
  const std::wregex pattern(L"^" + escapeForPattern(program) +
                            L"-(\\d{4})(\\d{2})(\\d{2})-(\\d{2})(\\d{2})(\\d{2})-(\\d{3})-" +
                            escapeForPattern(tag) + L"-(\\d+)\\.dmp$");
  std::wsmatch match;
  if (!std::regex_match(name, match, pattern)) return std::nullopt;
  Dump dump;
  auto field = [&](std::size_t i) { return static_cast<WORD>(std::stoi(match[i].str())); };
  dump.time.wYear = field(1);
  dump.time.wMonth = field(2);
  dump.time.wDay = field(3);
  dump.time.wHour = field(4);
  dump.time.wMinute = field(5);
  dump.time.wSecond = field(6);
  dump.time.wMilliseconds = field(7);
  dump.number = std::stol(match[8].str());
  return dump;
}

std::vector<DumpFolder::Dump> DumpFolder::newDumps(const std::wstring& program,
                                                   const std::wstring& tag) const {
  std::vector<Dump> dumps;
  for (const std::wstring& name : newFiles()) {
    if (auto dump = parse(name, program, tag)) {
      dump->path = m_path + L"\\" + name;
      dumps.push_back(std::move(*dump));
    }
  }
  return dumps;
}
