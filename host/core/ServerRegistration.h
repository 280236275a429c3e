#pragma once
// Registration of the program: application identity, machine defaults of
// the service table, application path, the classes it serves as a local
// server with their type library, the error-reporting exclusion, and the
// "mirdex" URL protocol with the ".mirdex" file type.
//
// Per-user registration writes every class-root entry under
// HKEY_CURRENT_USER\Software\Classes and registers the type library for the
// current user; the machine-wide entries stay where they are.
#include "Registrar.h"

#include <string>

class ServerRegistration {
public:
  // modulePath: the program's full path (%MODULE%).
  ServerRegistration(std::wstring modulePath, bool perUser);

  // Each step stops the sequence at its first failure, which is returned;
  // what was written before it stays. Never throw.
  HRESULT registerServer() noexcept;
  // Removes what registration wrote. The keys SOFTWARE\Mirdex and its
  // Services, Startup and Config stay (other components use them); values
  // and keys already gone are not failures.
  HRESULT unregisterServer() noexcept;

  // The application identity of the program (%APPID%).
  static constexpr const wchar_t* kAppId = L"{0E32997A-5237-44A1-9FAE-99197A9E337C}";
  static constexpr const wchar_t* kAppName = L"Mirdex";

private:
  HRESULT forEachClass(bool write) noexcept;
  HRESULT excludeFromErrorReporting(bool exclude) const noexcept;

  std::wstring m_modulePath;
  bool m_perUser;
  Registrar m_registrar;
};
