// FaultPost.exe: the crash reporter. The host starts it after writing a
// minidump, as  FaultPost.exe <tag> "<dump path>", and does not wait for
// it. It reads the dump, writes a plain-text report beside it and tells the
// user where the report is, unless /quiet is given.
#include "CrashReport.h"
#include "FaultPostExit.h"
#include "MinidumpFile.h"
#include "ReporterArguments.h"

#include <windows.h>

#include <string>

namespace {

constexpr const wchar_t* kCaption = L"FaultPost";

void tellUser(const ReporterArguments& arguments, const std::wstring& text, UINT icon) {
  if (arguments.quiet()) return;
  ::MessageBoxW(nullptr, text.c_str(), kCaption, MB_OK | icon | MB_SETFOREGROUND | MB_TOPMOST);
}

std::wstring opening(const ReporterArguments& arguments, bool readable) {
  if (!readable) return L"Mirdex wrote a dump, but it could not be read.";
  if (arguments.tag() == L"except") return L"Mirdex ran into a problem and had to close.";
  if (arguments.tag() == L"memuse") return L"Mirdex was using an unusually large amount of memory.";
  return L"Mirdex wrote a diagnostic dump.";
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const ReporterArguments arguments = ReporterArguments::parse(::GetCommandLineW());
  if (!arguments.valid()) {
    tellUser(arguments,
             L"FaultPost reports a problem of Mirdex from its dump file.\n\n"
             L"Usage: FaultPost.exe <tag> \"<dump file>\" [/quiet]",
             MB_ICONINFORMATION);
    return FaultPostExit::kUsage;
  }

  CrashReport report(arguments);
  MinidumpFile dump;
  bool readable = dump.open(arguments.dumpPath());
  if (readable) {
    readable = report.describe(dump);
  } else {
    report.describeUnreadable(dump.error());
  }

  const std::wstring reportPath = arguments.reportPath();
  if (!report.save(reportPath)) {
    tellUser(arguments,
             opening(arguments, readable) + L"\n\nThe report could not be written to:\n" +
                 reportPath + L"\n\nThe dump file is:\n" + arguments.dumpPath(),
             MB_ICONERROR);
    return FaultPostExit::kReportNotWritten;
  }
  tellUser(arguments,
           opening(arguments, readable) + L"\n\nWhat happened: " + report.summary() +
               L".\n\nA report was written to:\n" + reportPath +
               L"\n\nPlease send it together with the dump file to miRdex support.",
           readable ? MB_ICONWARNING : MB_ICONERROR);
  return readable ? FaultPostExit::kReported : FaultPostExit::kDumpUnreadable;
}
