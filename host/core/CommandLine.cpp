#include "CommandLine.h"

#include <shellapi.h>

#include <cwchar>
#include <memory>

namespace {

bool equalNoCase(std::wstring_view a, std::wstring_view b) noexcept {
  return a.size() == b.size() &&
         ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

struct SwitchName {
  const wchar_t* name;
  CommandLine::SwitchKind kind;
  bool takesArgument;
};

constexpr SwitchName kSwitches[] = {
    {L"quit", CommandLine::SwitchKind::Quit, false},
    {L"launch", CommandLine::SwitchKind::Launch, true},
    {L"hide", CommandLine::SwitchKind::Hide, false},
    {L"nosplash", CommandLine::SwitchKind::NoSplash, false},
    {L"wait", CommandLine::SwitchKind::Wait, true},
};

struct RegistrationName {
  const wchar_t* word;
  CommandLine::RegistrationWord value;
};

constexpr RegistrationName kRegistrationWords[] = {
    {L"RegServer", CommandLine::RegistrationWord::RegServer},
    {L"UnregServer", CommandLine::RegistrationWord::UnregServer},
    {L"RegServerPerUser", CommandLine::RegistrationWord::RegServerPerUser},
    {L"UnregServerPerUser", CommandLine::RegistrationWord::UnregServerPerUser},
};

struct LocalFreeDeleter {
  void operator()(LPWSTR* p) const noexcept { ::LocalFree(p); }
};

bool isWordEnd(wchar_t c) noexcept { return c == L' ' || c == L'\t'; }

}  // namespace

std::vector<CommandLine::Switch> CommandLine::switches(const wchar_t* commandLine) {
  std::vector<Switch> found;
  // An empty line would make the splitter report this program's path, which
  // is skipped anyway; a null one is treated the same.
  if (!commandLine || !*commandLine) return found;
  int count = 0;
  std::unique_ptr<LPWSTR, LocalFreeDeleter> argv(::CommandLineToArgvW(commandLine, &count));
  if (!argv) return found;

  for (int i = 1; i < count; ++i) {
    std::wstring_view word = argv.get()[i];
    if (!word.empty() && (word.front() == L'/' || word.front() == L'-')) word.remove_prefix(1);
    for (const SwitchName& known : kSwitches) {
      if (!equalNoCase(word, known.name)) continue;
      if (!known.takesArgument) {
        found.push_back({known.kind, {}});
      } else if (i + 1 < count) {
        found.push_back({known.kind, argv.get()[++i]});
      }
      break;
    }
  }
  return found;
}

CommandLine::RegistrationWord CommandLine::registrationWord(
    std::wstring_view commandLine) noexcept {
  for (size_t i = 0; i < commandLine.size(); ++i) {
    if (commandLine[i] != L'-' && commandLine[i] != L'/') continue;
    size_t end = i + 1;
    while (end < commandLine.size() && !isWordEnd(commandLine[end])) ++end;
    const std::wstring_view word = commandLine.substr(i + 1, end - i - 1);
    for (const RegistrationName& known : kRegistrationWords) {
      if (equalNoCase(word, known.word)) return known.value;
    }
  }
  return RegistrationWord::None;
}

DWORD CommandLine::waitProcessId(const std::wstring& text) noexcept {
  return static_cast<DWORD>(std::wcstoul(text.c_str(), nullptr, 10));
}
