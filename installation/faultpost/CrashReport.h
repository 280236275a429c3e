#pragma once
// The plain-text report FaultPost writes beside a dump: why the dump was
// written, the exception with its faulting thread and module, the threads,
// the modules with their versions and the system. A dump that cannot be
// read gets a report that says so and why.
#include "MinidumpFile.h"
#include "ReporterArguments.h"

#include <windows.h>

#include <cstdint>
#include <string>

class CrashReport {
public:
  explicit CrashReport(const ReporterArguments& arguments);

  // Describes an opened dump. False when a part of it is damaged; the
  // report then names that part and describes the rest.
  bool describe(const MinidumpFile& dump);
  // The dump could not be opened as a minidump, for the reason given.
  void describeUnreadable(const std::wstring& reason);

  const std::wstring& text() const noexcept { return m_text; }
  // One line for the user: what happened, for example "exception
  // 0xC0000005 (access violation) in Mirdex.exe". Empty before describe.
  const std::wstring& summary() const noexcept { return m_summary; }

  // Writes the text as UTF-8 with CRLF line ends, replacing an older file.
  bool save(const std::wstring& path) const;

  // "access violation" and the like for the usual exception codes; empty
  // for others.
  static std::wstring exceptionName(DWORD code);
  static std::wstring hex(std::uint64_t value, int digits);

private:
  void heading(const wchar_t* title);
  void line(const std::wstring& label, const std::wstring& value);
  void describeException(const MinidumpFile::Exception& exception,
                         const std::vector<MinidumpFile::Module>& modules, bool modulesKnown);
  bool describeThreads(const MinidumpFile& dump, DWORD faultingThread);
  void describeModules(const std::vector<MinidumpFile::Module>& modules);
  bool describeSystem(const MinidumpFile& dump);

  std::wstring m_tag;
  std::wstring m_text;
  std::wstring m_summary;
};
