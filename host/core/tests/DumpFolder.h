#pragma once
// The per-user folder the crash dumps go to, as the tests see it: the dumps
// and reports that appeared since the object was made, by program and tag,
// removed again when it goes.
#include <windows.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

class DumpFolder {
public:
  struct Dump {
    std::wstring path;
    SYSTEMTIME time{};
    long number = 0;
  };

  DumpFolder();
  ~DumpFolder();
  DumpFolder(const DumpFolder&) = delete;
  DumpFolder& operator=(const DumpFolder&) = delete;

  // The local application-data folder with "Mirdex\logs", found without
  // the code under test.
  const std::wstring& path() const noexcept { return m_path; }

  // Dumps made since construction whose names follow
  // "<program>-YYYYMMDD-hhmmss-mmm-<tag>-<number>.dmp".
  std::vector<Dump> newDumps(const std::wstring& program, const std::wstring& tag) const;
  // The names of all files made since construction.
  std::vector<std::wstring> newFiles() const;

  // Parses a dump's file name; nothing when it does not follow the pattern.
  static std::optional<Dump> parse(const std::wstring& name, const std::wstring& program,
                                   const std::wstring& tag);

private:
  std::vector<std::wstring> files() const;

  std::wstring m_path;
  std::set<std::wstring> m_before;
};
