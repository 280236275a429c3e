#pragma once
// The text shown for a failure code in log lines and messages:
// "E<signed decimal>#<upper-case hex> <system text>", or without the blank
// and text when the system has none for the code. The text is narrow (the
// calling thread's ANSI code page) so it can be passed as a "%s" argument.
#include <windows.h>

#include <concepts>
#include <string>

class StatusText {
public:
  // Any 32-bit status: HRESULT, Win32 error code or NTSTATUS-style value,
  // whichever integer type holds it.
  template <std::integral Code>
  explicit StatusText(Code code) : StatusText(FromCode{static_cast<DWORD>(code)}) {}

  // The status text of the calling thread's last error, read before anything
  // else can change it.
  static StatusText lastError();

  DWORD code() const noexcept { return m_code; }
  const char* c_str() const noexcept { return m_text.c_str(); }
  const std::string& str() const noexcept { return m_text; }

private:
  struct FromCode {
    DWORD code;
  };
  explicit StatusText(FromCode code);

  DWORD m_code;
  std::string m_text;
};
