#pragma once
// A string value of bounded length read from the registry, as the
// controller's scans and the launch-string monitor read theirs.
#include <windows.h>

#include <string>

class RegistryText {
public:
  RegistryText() = delete;

  // Reads value `name` of key as a text of at most maxChars characters
  // (without the terminator). The stored data need not end with a
  // terminator; the text ends at the first one, if any. ERROR_SUCCESS and
  // the text; ERROR_INVALID_DATA for a value that is not REG_SZ or
  // REG_EXPAND_SZ, ERROR_MORE_DATA for a longer one, otherwise the system's
  // status (ERROR_FILE_NOT_FOUND for a missing value). text is changed only
  // on success. Raises std::bad_alloc.
  static LONG read(HKEY key, const wchar_t* name, DWORD maxChars, std::wstring& text);
};
