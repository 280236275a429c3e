#include "RegistryText.h"

#include <string_view>
#include <vector>

LONG RegistryText::read(HKEY key, const wchar_t* name, DWORD maxChars, std::wstring& text) {
  // One character more than the longest text: room for the terminator, so
  // an unterminated value of maxChars characters still fits.
  std::vector<wchar_t> buffer(static_cast<size_t>(maxChars) + 1);
  DWORD type = REG_NONE;
  DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  const LONG rc =
      ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &bytes);
  if (rc != ERROR_SUCCESS) return rc;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
  std::wstring_view stored(buffer.data(), bytes / sizeof(wchar_t));
  stored = stored.substr(0, stored.find(L'\0'));
  if (stored.size() > maxChars) return ERROR_MORE_DATA;
  text.assign(stored);
  return ERROR_SUCCESS;
}
