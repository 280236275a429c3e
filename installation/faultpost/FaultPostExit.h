#pragma once
// FaultPost.exe's exit codes, for whoever runs it unattended.
namespace FaultPostExit {
// The dump was read and the report written.
constexpr int kReported = 0;
// The command line did not name a tag and a dump.
constexpr int kUsage = 1;
// The dump could not be read, or only in part; the report says why.
constexpr int kDumpUnreadable = 2;
// The report file could not be written.
constexpr int kReportNotWritten = 3;
}  // namespace FaultPostExit
