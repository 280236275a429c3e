#include "OperatingSystemTests.h"

#include "UniqueHandle.h"

#include <shlobj.h>

bool OperatingSystemTests::readVersion(OSVERSIONINFOW& version) noexcept {
  version = {};
  version.dwOSVersionInfoSize = sizeof(version);
#if defined(_MSC_VER)
#pragma warning(push)
#pragma warning(disable : 4996)  // the reported version is what is wanted here
#endif
  return ::GetVersionExW(&version) != FALSE;
#if defined(_MSC_VER)
#pragma warning(pop)
#endif
}

bool OperatingSystemTests::isVistaOrLater() noexcept {
  OSVERSIONINFOW version;
  return readVersion(version) && version.dwMajorVersion >= 6;
}

bool OperatingSystemTests::isAccountControlActive() noexcept {
  if (!isVistaOrLater()) return false;
  RegKey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                      L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System", 0,
                      KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
    return false;
  }
  DWORD type = REG_NONE;
  DWORD value = 0;
  DWORD bytes = sizeof(value);
  if (::RegQueryValueExW(key.get(), L"EnableLUA", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &bytes) != ERROR_SUCCESS) {
    return false;
  }
  return type == REG_DWORD && bytes == sizeof(value) && value != 0;
}

bool OperatingSystemTests::isAdministrator() noexcept { return ::IsUserAnAdmin() != FALSE; }
