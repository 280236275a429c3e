#pragma once
// Operating-system help for the shell object and the start-up: finding the
// window of a process, and of the instance of a program already running.
// Used only on the thread of its owner (the user-interface thread).
#include <windows.h>

class CSystemHelper {
public:
  CSystemHelper() = default;
  CSystemHelper(const CSystemHelper&) = delete;
  CSystemHelper& operator=(const CSystemHelper&) = delete;

  // The first visible top-level window of the current desktop, front to
  // back, that belongs to the process; null when it has none.
  HWND FindProcessWindow(DWORD processId) const noexcept;

  // FindProcessWindow of the first process other than skipProcessId whose
  // first module's base name equals name (with case); null when no such
  // process runs or it has no visible window. Processes that cannot be
  // opened for querying and reading are passed over.
  HWND FindProcessWindowByName(const wchar_t* name, DWORD skipProcessId) const noexcept;

  // Room for this many process ids in the search.
  static constexpr DWORD kMaxProcesses = 1000;
  // Module base names are compared up to this length.
  static constexpr DWORD kMaxNameLength = 1000;
};
