#include "UserSetting.h"

#include "UniqueHandle.h"

UserSetting::UserSetting(const wchar_t* name, const wchar_t* subKey) : m_subKey(subKey), m_name(name) {
  RegKey key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, subKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return;
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return;
  Saved saved{type, std::vector<BYTE>(size)};
  if (::RegQueryValueExW(key.get(), name, nullptr, &type, saved.bytes.data(), &size) == ERROR_SUCCESS) {
    saved.bytes.resize(size);
    m_saved = std::move(saved);
  }
}

UserSetting::~UserSetting() {
  if (m_saved) {
    setRaw(m_saved->type, m_saved->bytes);
  } else {
    remove();
  }
}

bool UserSetting::setRaw(DWORD type, const std::vector<BYTE>& bytes) {
  RegKey key;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, m_subKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return ::RegSetValueExW(key.get(), m_name.c_str(), 0, type, bytes.data(),
                          static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
}

bool UserSetting::setNumber(DWORD value) {
  const auto* bytes = reinterpret_cast<const BYTE*>(&value);
  return setRaw(REG_DWORD, std::vector<BYTE>(bytes, bytes + sizeof(value)));
}

bool UserSetting::setText(const std::wstring& value) {
  const auto* bytes = reinterpret_cast<const BYTE*>(value.c_str());
  return setRaw(REG_SZ, std::vector<BYTE>(bytes, bytes + (value.size() + 1) * sizeof(wchar_t)));
}

void UserSetting::remove() {
  RegKey key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, m_subKey.c_str(), 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS) {
    ::RegDeleteValueW(key.get(), m_name.c_str());
  }
}
