// A small program the crash tests start as a process of its own: it
// installs the host's crash handling and then faults, waits for the memory
// monitor, or writes a dump on request.
//   crash_target fault             an access violation on the main thread
//   crash_target monitor           waits up to two minutes for the monitor
//   crash_target dump <tag> <n>    writes a dump; the exit code is the result
#include "CrashDump.h"

#include <windows.h>

#include <cwchar>

namespace {

constexpr int kUsage = 100;

[[noreturn]] void fault() {
  // Read through a volatile pointer so the compiler cannot see the address
  // and turn the store into a trap of its own.
  int* volatile target = reinterpret_cast<int*>(0x10);
  *target = 1;
  ::ExitProcess(kUsage + 1);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return kUsage;
  const wchar_t* command = argv[1];
  if (std::wcscmp(command, L"fault") == 0) {
    CrashDump::initCrashDump();
    fault();
  }
  if (std::wcscmp(command, L"monitor") == 0) {
    CrashDump::initCrashDump();
    ::Sleep(120000);
    return 0;
  }
  if (std::wcscmp(command, L"dump") == 0 && argc == 4) {
    return CrashDump::writeDumpAndReport(argv[2], std::wcstol(argv[3], nullptr, 10), nullptr);
  }
  return kUsage;
}
