#pragma once
// Leaves the registry as a test found it: the keys along a path that do not
// exist when this object is made are removed again when it goes, deepest
// first, each only when nothing is left in it.
#include "UniqueHandle.h"

#include <string>
#include <vector>

class CreatedKeys {
public:
  CreatedKeys(HKEY root, const std::wstring& path) : m_root(root) {
    for (size_t end = path.find(L'\\'); ; end = path.find(L'\\', end + 1)) {
      const std::wstring key = path.substr(0, end);
      RegKey open;
      if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, open.put()) != ERROR_SUCCESS) {
        m_created.push_back(key);
      }
      if (end == std::wstring::npos) break;
    }
  }
  ~CreatedKeys() {
    for (auto key = m_created.rbegin(); key != m_created.rend(); ++key) {
      if (isEmpty(*key)) ::RegDeleteKeyW(m_root, key->c_str());
    }
  }
  CreatedKeys(const CreatedKeys&) = delete;
  CreatedKeys& operator=(const CreatedKeys&) = delete;

private:
  bool isEmpty(const std::wstring& path) const {
    RegKey key;
    if (::RegOpenKeyExW(m_root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
    DWORD subkeys = 0, values = 0;
    if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                           &values, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      return false;
    }
    return subkeys == 0 && values == 0;
  }

  HKEY m_root;
  std::vector<std::wstring> m_created;
};
