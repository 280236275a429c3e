#pragma once
// What "RegServer" writes: every registry value the program's
// registration consists of, as the process tests expect to find it.
#include <windows.h>

#include <string>
#include <vector>

struct ExpectedEntry {
  HKEY root;
  std::wstring key;
  const wchar_t* name;  // null: the key alone; L"": the default value
  bool isNumber;
  std::wstring text;
  DWORD number;
};

class RegistrationExpectations {
public:
  RegistrationExpectations() = delete;

  // The entries for the program at modulePath.
  static std::vector<ExpectedEntry> all(const std::wstring& modulePath);

  // Keys that unregistration keeps: they belong to the installation too.
  static std::vector<std::wstring> keptMachineKeys();

  static constexpr const wchar_t* kTypeLibKey =
      L"TypeLib\\{FAD7B7B5-D754-4BA4-AB03-345D2C7803D0}\\1.0";
  // Whether the program is on the error-reporting exclusion list for all
  // users. The list is the system's own: Windows keeps it under
  // kWerExclusionKey, Wine under kWineWerExclusionKey, each as a value
  // named after the program file.
  static bool excludedFromErrorReporting();
  static constexpr const wchar_t* kWerExclusionKey =
      L"SOFTWARE\\Microsoft\\Windows\\Windows Error Reporting\\ExcludedApplications";
  static constexpr const wchar_t* kWineWerExclusionKey =
      L"Software\\Microsoft\\Windows Error Reporting\\ExcludedApplications";
};
