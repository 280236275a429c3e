#include "ServerRegistration.h"

#include "Bstr.h"
#include "FrameworkLib.h"
#include "LocalServerClasses.h"
#include "UniqueHandle.h"

#include <oleauto.h>

#include <new>
#include <utility>

namespace {

using R = RegistryRoot;
using E = RegistryEntry;

// Application identity, the machine defaults of the service table and the
// application path. The service-table keys are shared with the installer
// and other components: only the values named here go on removal.
constexpr RegistryEntry kApplicationEntries[] = {
    E::string(R::ClassesRoot, L"AppID\\%APPID%", L"", L"%APPNAME%", E::kDeleteTree),
    E::string(R::ClassesRoot, L"AppID\\%APPNAME%.EXE", L"AppID", L"%APPID%"),
    E::keyOnly(R::LocalMachine, L"SOFTWARE\\Mirdex", E::kKeepKey),
    E::keyOnly(R::LocalMachine, L"SOFTWARE\\Mirdex\\Services", E::kKeepKey),
    E::string(R::LocalMachine, L"SOFTWARE\\Mirdex\\Services", L"Logger",
              L"CLSID:{C06D2BCE-B8DD-4E7C-B5D3-27653B411F80}", E::kKeepKey),
    E::string(R::LocalMachine, L"SOFTWARE\\Mirdex\\Services", L"Config",
              L"CLSID:{23C5284F-2B96-46DB-AC04-6D9FE820EFE5}", E::kKeepKey),
    E::keyOnly(R::LocalMachine, L"SOFTWARE\\Mirdex\\Startup", E::kKeepKey),
    E::keyOnly(R::LocalMachine, L"SOFTWARE\\Mirdex\\Config", E::kKeepKey),
    E::string(R::LocalMachine,
              L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\%APPNAME%.exe", L"",
              L"%MODULE%"),
    E::dword(R::LocalMachine,
             L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\%APPNAME%.exe",
             L"AllowMessengerExecHandleFailure", 1),
};

// One served class; %CLSID%, %PROGID% and %DESCRIPTION% are set per class.
// The program path is quoted in the server's command line, so that a path
// with blanks cannot start another program.
constexpr RegistryEntry kClassEntries[] = {
    E::string(R::ClassesRoot, L"%PROGID%.1", L"", L"%DESCRIPTION%"),
    E::string(R::ClassesRoot, L"%PROGID%.1\\CLSID", L"", L"%CLSID%"),
    E::string(R::ClassesRoot, L"%PROGID%", L"", L"%DESCRIPTION%"),
    E::string(R::ClassesRoot, L"%PROGID%\\CLSID", L"", L"%CLSID%"),
    E::string(R::ClassesRoot, L"%PROGID%\\CurVer", L"", L"%PROGID%.1"),
    E::string(R::ClassesRoot, L"CLSID\\%CLSID%", L"", L"%DESCRIPTION%", E::kDeleteTree),
    E::string(R::ClassesRoot, L"CLSID\\%CLSID%", L"AppID", L"%APPID%"),
    E::string(R::ClassesRoot, L"CLSID\\%CLSID%\\ProgID", L"", L"%PROGID%.1"),
    E::string(R::ClassesRoot, L"CLSID\\%CLSID%\\VersionIndependentProgID", L"", L"%PROGID%"),
    E::keyOnly(R::ClassesRoot, L"CLSID\\%CLSID%\\Programmable"),
    E::string(R::ClassesRoot, L"CLSID\\%CLSID%\\LocalServer32", L"", L"\"%MODULE%\""),
    E::string(R::ClassesRoot, L"CLSID\\%CLSID%\\TypeLib", L"", L"{FAD7B7B5-D754-4BA4-AB03-345D2C7803D0}"),
};

// The "mirdex" URL protocol and the ".mirdex" file type. The MIME database
// keys belong to the system and are never removed.
constexpr RegistryEntry kProtocolEntries[] = {
    E::string(R::ClassesRoot, L"mirdex", L"", L"URL:Mirdex Protocol", E::kDeleteTree),
    E::string(R::ClassesRoot, L"mirdex", L"URL Protocol", L""),
    E::string(R::ClassesRoot, L"mirdex\\DefaultIcon", L"", L"%MODULE%"),
    E::string(R::ClassesRoot, L"mirdex\\shell\\open\\command", L"",
              L"\"%MODULE%\" /launch \"%1\""),
    E::string(R::ClassesRoot, L"Mirdex.Content", L"", L"Mirdex files", E::kDeleteTree),
    E::string(R::ClassesRoot, L"Mirdex.Content\\DefaultIcon", L"", L"%MODULE%"),
    E::string(R::ClassesRoot, L"Mirdex.Content\\shell", L"", L"open"),
    E::string(R::ClassesRoot, L"Mirdex.Content\\shell\\open", L"", L"&Open"),
    E::string(R::ClassesRoot, L"Mirdex.Content\\shell\\open\\command", L"",
              L"\"%MODULE%\" /content \"%1\""),
    E::string(R::ClassesRoot, L".mirdex", L"", L"Mirdex.Content"),
    E::string(R::ClassesRoot, L".mirdex", L"Content Type", L"application/x-mirdex"),
    E::keyOnly(R::ClassesRoot, L"MIME", E::kKeepKey),
    E::keyOnly(R::ClassesRoot, L"MIME\\Database", E::kKeepKey),
    E::keyOnly(R::ClassesRoot, L"MIME\\Database\\Content Type", E::kKeepKey),
    E::string(R::ClassesRoot, L"MIME\\Database\\Content Type\\application/x-mirdex", L"Extension",
              L".mirdex"),
};

// Reported by the removal when the program was not on the list: the
// documented status, and the one Wine gives instead.
constexpr HRESULT kWerNotFound = static_cast<HRESULT>(0x80040411L);
const HRESULT kWerNotFoundWine = HRESULT_FROM_WIN32(ERROR_ENVVAR_NOT_FOUND);

bool typeLibraryRegistered() noexcept {
  Bstr path;
  return SUCCEEDED(::QueryPathOfRegTypeLib(LIBID_FrameworkLib, 1, 0, LOCALE_NEUTRAL, path.put()));
}

std::wstring guidText(const GUID& guid) {
  wchar_t text[40] = {};
  ::StringFromGUID2(guid, text, static_cast<int>(std::size(text)));
  return text;
}

}  // namespace

ServerRegistration::ServerRegistration(std::wstring modulePath, bool perUser)
    : m_modulePath(std::move(modulePath)), m_perUser(perUser) {
  m_registrar.addReplacement(L"APPNAME", kAppName);
  m_registrar.addReplacement(L"APPID", kAppId);
  m_registrar.addReplacement(L"MODULE", m_modulePath);
  m_registrar.setPerUserClasses(perUser);
}

HRESULT ServerRegistration::registerServer() noexcept {
  HRESULT hr = m_registrar.write(kApplicationEntries);
  if (FAILED(hr)) return hr;
  hr = forEachClass(true);
  if (FAILED(hr)) return hr;
  hr = Registrar::registerTypeLibrary(m_modulePath, m_perUser);
  if (FAILED(hr)) return hr;
  hr = excludeFromErrorReporting(true);
  if (FAILED(hr)) return hr;
  return m_registrar.write(kProtocolEntries);
}

HRESULT ServerRegistration::unregisterServer() noexcept {
  HRESULT hr = forEachClass(false);
  if (FAILED(hr)) return hr;
  // A library that is not registered has nothing left to remove (and
  // systems differ in how they report that).
  if (typeLibraryRegistered()) {
    hr = Registrar::unregisterTypeLibrary(m_modulePath, m_perUser);
    if (FAILED(hr)) return hr;
  }
  hr = m_registrar.remove(kProtocolEntries);
  if (FAILED(hr)) return hr;
  hr = excludeFromErrorReporting(false);
  if (FAILED(hr)) return hr;
  return m_registrar.remove(kApplicationEntries);
}

HRESULT ServerRegistration::forEachClass(bool write) noexcept {
  try {
    for (const LocalServerClasses::Class& served : LocalServerClasses::all()) {
      m_registrar.addReplacement(L"CLSID", guidText(*served.entry.clsid));
      m_registrar.addReplacement(L"PROGID", m_registrar.expand(served.progId));
      m_registrar.addReplacement(L"DESCRIPTION", served.description);
      const HRESULT hr = write ? m_registrar.write(kClassEntries) : m_registrar.remove(kClassEntries);
      if (FAILED(hr)) return hr;
    }
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT ServerRegistration::excludeFromErrorReporting(bool exclude) const noexcept {
  LoadedLibrary wer(::LoadLibraryW(L"wer.dll"));
  if (!wer) return S_OK;  // no error reporting on this system
  using ExclusionFn = HRESULT(WINAPI*)(PCWSTR, BOOL);
  // Through the generic function type, which converts to any other.
  auto generic = reinterpret_cast<void (*)()>(::GetProcAddress(
      wer.get(), exclude ? "WerAddExcludedApplication" : "WerRemoveExcludedApplication"));
  auto call = reinterpret_cast<ExclusionFn>(generic);
  if (!call) return S_OK;
  const HRESULT hr = call(m_modulePath.c_str(), TRUE);
  if (!exclude && (hr == kWerNotFound || hr == kWerNotFoundWine)) return S_OK;
  return hr;
}
