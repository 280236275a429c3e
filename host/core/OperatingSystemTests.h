#pragma once
// The operating-system questions that start-up logs and the controller
// answers: the version, whether it is Windows 6.0 or later, whether user
// account control is active and whether the user is an administrator.
#include <windows.h>

class OperatingSystemTests {
public:
  OperatingSystemTests() = delete;

  // The system's version record; false when it cannot be read.
  static bool readVersion(OSVERSIONINFOW& version) noexcept;

  // Major version 6 or more; false when the version cannot be read.
  static bool isVistaOrLater() noexcept;
  // Windows 6.0 or later and the REG_DWORD "EnableLUA" under
  // HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Policies\System
  // exists and is not 0.
  static bool isAccountControlActive() noexcept;
  // The system reports the user as a member of the administrators group.
  static bool isAdministrator() noexcept;
};
