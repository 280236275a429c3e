#include "RegistryReader.h"

#include "UniqueHandle.h"

#include <vector>

namespace {

RegKey open(HKEY root, const std::wstring& path, REGSAM access) {
  RegKey key;
  if (::RegOpenKeyExW(root, path.c_str(), 0, access, key.put()) != ERROR_SUCCESS) key.reset();
  return key;
}

}  // namespace

std::optional<std::wstring> RegistryReader::text(HKEY root, const std::wstring& path,
                                                 const wchar_t* name) {
  RegKey key = open(root, path, KEY_QUERY_VALUE);
  if (!key) return std::nullopt;
  DWORD type = REG_NONE;
  DWORD bytes = 0;
  if (::RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return std::nullopt;
  }
  std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
  if (::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &bytes) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(buffer.data());
}

std::optional<DWORD> RegistryReader::number(HKEY root, const std::wstring& path,
                                            const wchar_t* name) {
  RegKey key = open(root, path, KEY_QUERY_VALUE);
  if (!key) return std::nullopt;
  DWORD type = REG_NONE;
  DWORD value = 0;
  DWORD bytes = sizeof(value);
  if (::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &bytes) != ERROR_SUCCESS ||
      type != REG_DWORD) {
    return std::nullopt;
  }
  return value;
}

bool RegistryReader::keyExists(HKEY root, const std::wstring& path) {
  return static_cast<bool>(open(root, path, KEY_QUERY_VALUE));
}

bool RegistryReader::valueExists(HKEY root, const std::wstring& path, const wchar_t* name) {
  RegKey key = open(root, path, KEY_QUERY_VALUE);
  return key && ::RegQueryValueExW(key.get(), name, nullptr, nullptr, nullptr, nullptr) ==
                    ERROR_SUCCESS;
}

bool RegistryReader::setText(HKEY root, const std::wstring& path, const wchar_t* name,
                             const std::wstring& value) {
  RegKey key;
  if (::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return ::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
         ERROR_SUCCESS;
}

void RegistryReader::deleteValue(HKEY root, const std::wstring& path, const wchar_t* name) {
  RegKey key = open(root, path, KEY_SET_VALUE);
  if (key) ::RegDeleteValueW(key.get(), name);
}
