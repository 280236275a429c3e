#pragma once
// Owning BSTR: frees its string with SysFreeString exactly once. A null
// BSTR is a valid, empty string to automation, and length() treats it so.
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>

class Bstr {
public:
  Bstr() noexcept = default;
  // Copies the text; a null source gives a null string. Copies raise
  // std::bad_alloc when the system cannot allocate the string.
  explicit Bstr(const wchar_t* text);
  explicit Bstr(std::wstring_view text);
  Bstr(const Bstr& other);
  Bstr(Bstr&& other) noexcept;
  Bstr& operator=(const Bstr& other);
  Bstr& operator=(Bstr&& other) noexcept;
  ~Bstr();

  // Text in the thread's ANSI code page, or UTF-8, converted to UTF-16
  // (malformed input becomes replacement characters).
  static Bstr fromAnsi(std::string_view text);
  static Bstr fromUtf8(std::string_view text);
  // Takes over a string the caller owns.
  static Bstr attach(BSTR owned) noexcept;

  BSTR get() const noexcept { return m_s; }
  // A never-null text for code that wants a C string.
  const wchar_t* c_str() const noexcept { return m_s ? m_s : L""; }
  UINT length() const noexcept { return ::SysStringLen(m_s); }
  bool empty() const noexcept { return length() == 0; }
  bool isNull() const noexcept { return m_s == nullptr; }
  std::wstring_view view() const noexcept { return {c_str(), length()}; }
  std::wstring str() const { return std::wstring(view()); }
  std::string toUtf8() const;

  // Frees what is held, for the out-parameter of a call that returns a BSTR.
  BSTR* put() noexcept;
  void reset(BSTR owned = nullptr) noexcept;
  // Hands ownership to the caller.
  BSTR detach() noexcept;
  // Gives the caller a fresh copy through an out-parameter: E_POINTER for a
  // null out, E_OUTOFMEMORY when the copy fails.
  HRESULT copyTo(BSTR* out) const noexcept;

  friend bool operator==(const Bstr& a, const Bstr& b) noexcept { return a.view() == b.view(); }
  friend bool operator==(const Bstr& a, std::wstring_view b) noexcept { return a.view() == b; }

private:
  static Bstr fromCodePage(UINT codePage, std::string_view text);

  BSTR m_s = nullptr;
};
