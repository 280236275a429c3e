#include "ReporterArguments.h"

#include "UniqueHandle.h"

#include <windows.h>

#include <shellapi.h>

#include <vector>

namespace {

// CommandLineToArgvW's array is one LocalAlloc block.
using ArgumentArray = UniqueHandle<ZeroInvalidTraits<wchar_t**, &::LocalFree>>;

constexpr const wchar_t* kQuietSwitch = L"/quiet";
constexpr const wchar_t* kDumpExtension = L".dmp";
constexpr const wchar_t* kReportExtension = L".txt";

bool equalNoCase(const std::wstring& a, const wchar_t* b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

ReporterArguments ReporterArguments::parse(const wchar_t* commandLine) {
  ReporterArguments arguments;
  arguments.m_commandLine = commandLine ? commandLine : L"";
  if (arguments.m_commandLine.empty()) return arguments;

  int count = 0;
  ArgumentArray argv(::CommandLineToArgvW(arguments.m_commandLine.c_str(), &count));
  if (!argv) return arguments;

  std::vector<std::wstring> positional;
  for (int i = 1; i < count; ++i) {
    std::wstring argument = argv.get()[i];
    if (equalNoCase(argument, kQuietSwitch)) {
      arguments.m_quiet = true;
    } else {
      positional.push_back(std::move(argument));
    }
  }
  if (positional.size() == 2 && !positional[0].empty() && !positional[1].empty()) {
    arguments.m_tag = std::move(positional[0]);
    arguments.m_dumpPath = std::move(positional[1]);
    arguments.m_valid = true;
  }
  return arguments;
}

std::wstring ReporterArguments::reportPath() const {
  std::wstring path = m_dumpPath;
  const std::size_t extension = std::char_traits<wchar_t>::length(kDumpExtension);
  if (path.size() >= extension && equalNoCase(path.substr(path.size() - extension), kDumpExtension)) {
    path.resize(path.size() - extension);
  }
  return path + kReportExtension;
}
