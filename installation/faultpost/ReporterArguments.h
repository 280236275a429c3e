#pragma once
// The reporter's command line: FaultPost.exe <tag> "<dump path>", as the
// host starts it, with the switch /quiet (anywhere, any case) for unattended
// runs that must not wait for the user.
#include <string>

class ReporterArguments {
public:
  // Parses a whole command line, the program's name first.
  static ReporterArguments parse(const wchar_t* commandLine);

  // A tag and a dump path were given, and nothing else.
  bool valid() const noexcept { return m_valid; }
  bool quiet() const noexcept { return m_quiet; }
  const std::wstring& tag() const noexcept { return m_tag; }
  const std::wstring& dumpPath() const noexcept { return m_dumpPath; }
  const std::wstring& commandLine() const noexcept { return m_commandLine; }

  // The report beside the dump: the dump path with ".txt" in place of a
  // final ".dmp", or with ".txt" added.
  std::wstring reportPath() const;

private:
  bool m_valid = false;
  bool m_quiet = false;
  std::wstring m_tag;
  std::wstring m_dumpPath;
  std::wstring m_commandLine;
};
