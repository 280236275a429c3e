#pragma once
#include "UniqueHandle.h"

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

// One registry key emptied for a test and put back as it was afterwards;
// its parent goes too when the test created it.
class SavedRegistryKey {
public:
  SavedRegistryKey(HKEY root, std::wstring parent, const wchar_t* name)
      : m_root(root), m_parent(std::move(parent)), m_path(m_parent + L"\\" + name) {
    RegKey parentKey;
    m_parentExisted = ::RegOpenKeyExW(root, m_parent.c_str(), 0, KEY_READ, parentKey.put()) == ERROR_SUCCESS;
    RegKey key;
    if (::RegOpenKeyExW(root, m_path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS) {
      m_existed = true;
      for (DWORD index = 0;; ++index) {
        std::vector<wchar_t> name(16384);
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD type = 0;
        DWORD bytes = 0;
        if (::RegEnumValueW(key.get(), index, name.data(), &nameLength, nullptr, &type, nullptr, &bytes) !=
            ERROR_SUCCESS) {
          break;
        }
        Value value{std::wstring(name.data(), nameLength), type, std::vector<BYTE>(bytes)};
        ::RegQueryValueExW(key.get(), value.name.c_str(), nullptr, nullptr, value.data.data(), &bytes);
        m_values.push_back(std::move(value));
      }
    }
    key.reset();
    ::RegDeleteTreeW(root, m_path.c_str());
  }

  ~SavedRegistryKey() {
    ::RegDeleteTreeW(m_root, m_path.c_str());
    if (m_existed) {
      RegKey key;
      if (::RegCreateKeyExW(m_root, m_path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) ==
          ERROR_SUCCESS) {
        for (const Value& value : m_values) {
          ::RegSetValueExW(key.get(), value.name.c_str(), 0, value.type, value.data.data(),
                           static_cast<DWORD>(value.data.size()));
        }
      }
    } else if (!m_parentExisted) {
      ::RegDeleteKeyW(m_root, m_parent.c_str());  // fails, as it should, while anything is beneath it
    }
  }

  SavedRegistryKey(const SavedRegistryKey&) = delete;
  SavedRegistryKey& operator=(const SavedRegistryKey&) = delete;

private:
  struct Value {
    std::wstring name;
    DWORD type;
    std::vector<BYTE> data;
  };

  HKEY m_root;
  std::wstring m_parent;
  std::wstring m_path;
  bool m_parentExisted = false;
  bool m_existed = false;
  std::vector<Value> m_values;
};
