#pragma once
// Sets (or, with null, removes) an environment variable of this process for
// a scope, and reloads the logging configuration on the way in and out.
#include "LoggerManager.h"

#include <windows.h>

#include <optional>
#include <string>

class EnvironmentOverride {
public:
  EnvironmentOverride(const wchar_t* name, const wchar_t* value) : m_name(name) {
    wchar_t old[256];
    const DWORD length = ::GetEnvironmentVariableW(name, old, 256);
    if (length != 0 && length < 256) m_old = std::wstring(old, length);
    ::SetEnvironmentVariableW(name, value);
    LoggerManager::reloadConfiguration();
  }
  ~EnvironmentOverride() {
    ::SetEnvironmentVariableW(m_name.c_str(), m_old ? m_old->c_str() : nullptr);
    LoggerManager::reloadConfiguration();
  }
  EnvironmentOverride(const EnvironmentOverride&) = delete;
  EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;

private:
  std::wstring m_name;
  std::optional<std::wstring> m_old;
};
