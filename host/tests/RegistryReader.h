#pragma once
// Small reads and writes of the real registry for the process tests.
#include <windows.h>

#include <optional>
#include <string>

class RegistryReader {
public:
  RegistryReader() = delete;

  // The text of a REG_SZ or REG_EXPAND_SZ value ("" names the default
  // value); nothing when the key or value is missing or of another type.
  static std::optional<std::wstring> text(HKEY root, const std::wstring& path, const wchar_t* name);
  // The number of a REG_DWORD value.
  static std::optional<DWORD> number(HKEY root, const std::wstring& path, const wchar_t* name);
  static bool keyExists(HKEY root, const std::wstring& path);
  static bool valueExists(HKEY root, const std::wstring& path, const wchar_t* name);

  static bool setText(HKEY root, const std::wstring& path, const wchar_t* name,
                      const std::wstring& value);
  static void deleteValue(HKEY root, const std::wstring& path, const wchar_t* name);
};
