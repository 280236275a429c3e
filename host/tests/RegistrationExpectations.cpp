#include "RegistrationExpectations.h"

#include "RegistryReader.h"

namespace {

struct ServedClass {
  const wchar_t* clsid;
  const wchar_t* progId;
  const wchar_t* description;
};

constexpr ServedClass kClasses[] = {
    {L"{2219975D-BE3D-47A4-A8C8-7EBF3B86AAA8}", L"Mirdex.ObjectList", L"ObjectList Class"},
    {L"{D9D47324-4AFD-495D-ABC2-3CE56F6B9D6A}", L"Mirdex.StringList", L"StringList Class"},
    {L"{B90C9922-698F-4879-989A-2EB3E1134CED}", L"Mirdex.ObjectPair", L"ObjectPair Class"},
    {L"{5D407D63-82D4-49EA-BFDF-AC560F6DD4B9}", L"Mirdex.StringObjectMap", L"StringObjectMap Class"},
    {L"{073C8F0C-CEDD-45B8-8F41-10EF4E172DBE}", L"Mirdex.IntegerObjectMap", L"IntegerObjectMap Class"},
    {L"{17190DB9-D558-497E-A4A3-B87B6CF04259}", L"Mirdex.ErrorObject", L"ErrorObject Class"},
    {L"{23C5284F-2B96-46DB-AC04-6D9FE820EFE5}", L"Mirdex.Config", L"Config Class"},
    {L"{C06D2BCE-B8DD-4E7C-B5D3-27653B411F80}", L"Mirdex.Logger", L"Logger Class"},
};

constexpr wchar_t kAppId[] = L"{0E32997A-5237-44A1-9FAE-99197A9E337C}";
constexpr wchar_t kLibId[] = L"{FAD7B7B5-D754-4BA4-AB03-345D2C7803D0}";

ExpectedEntry text(HKEY root, std::wstring key, const wchar_t* name, std::wstring value) {
  return {root, std::move(key), name, false, std::move(value), 0};
}
ExpectedEntry number(HKEY root, std::wstring key, const wchar_t* name, DWORD value) {
  return {root, std::move(key), name, true, {}, value};
}
ExpectedEntry keyOnly(HKEY root, std::wstring key) { return {root, std::move(key), nullptr, false, {}, 0}; }

}  // namespace

std::vector<ExpectedEntry> RegistrationExpectations::all(const std::wstring& module) {
  const HKEY cr = HKEY_CLASSES_ROOT;
  const HKEY lm = HKEY_LOCAL_MACHINE;
  const std::wstring quoted = L"\"" + module + L"\"";
  const std::wstring appPath =
      L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Mirdex.exe";
  std::vector<ExpectedEntry> entries = {
      text(cr, std::wstring(L"AppID\\") + kAppId, L"", L"Mirdex"),
      text(cr, L"AppID\\Mirdex.EXE", L"AppID", kAppId),
      text(lm, L"SOFTWARE\\Mirdex\\Services", L"Logger", L"CLSID:{C06D2BCE-B8DD-4E7C-B5D3-27653B411F80}"),
      text(lm, L"SOFTWARE\\Mirdex\\Services", L"Config", L"CLSID:{23C5284F-2B96-46DB-AC04-6D9FE820EFE5}"),
      keyOnly(lm, L"SOFTWARE\\Mirdex\\Startup"),
      keyOnly(lm, L"SOFTWARE\\Mirdex\\Config"),
      text(lm, appPath, L"", module),
      number(lm, appPath, L"AllowMessengerExecHandleFailure", 1),
      text(cr, kTypeLibKey, L"", L"Framework 1.0 Type Library"),
      text(cr, L"mirdex", L"", L"URL:Mirdex Protocol"),
      text(cr, L"mirdex", L"URL Protocol", L""),
      text(cr, L"mirdex\\DefaultIcon", L"", module),
      text(cr, L"mirdex\\shell\\open\\command", L"", quoted + L" /launch \"%1\""),
      text(cr, L"Mirdex.Content", L"", L"Mirdex files"),
      text(cr, L"Mirdex.Content\\DefaultIcon", L"", module),
      text(cr, L"Mirdex.Content\\shell", L"", L"open"),
      text(cr, L"Mirdex.Content\\shell\\open", L"", L"&Open"),
      text(cr, L"Mirdex.Content\\shell\\open\\command", L"", quoted + L" /content \"%1\""),
      text(cr, L".mirdex", L"", L"Mirdex.Content"),
      text(cr, L".mirdex", L"Content Type", L"application/x-mirdex"),
      text(cr, L"MIME\\Database\\Content Type\\application/x-mirdex", L"Extension", L".mirdex"),
  };
  for (const ServedClass& c : kClasses) {
    const std::wstring progId = c.progId;
    const std::wstring clsidKey = std::wstring(L"CLSID\\") + c.clsid;
    const std::vector<ExpectedEntry> perClass = {
        text(cr, progId + L".1", L"", c.description),
        text(cr, progId + L".1\\CLSID", L"", c.clsid),
        text(cr, progId, L"", c.description),
        text(cr, progId + L"\\CLSID", L"", c.clsid),
        text(cr, progId + L"\\CurVer", L"", progId + L".1"),
        text(cr, clsidKey, L"", c.description),
        text(cr, clsidKey, L"AppID", kAppId),
        text(cr, clsidKey + L"\\ProgID", L"", progId + L".1"),
        text(cr, clsidKey + L"\\VersionIndependentProgID", L"", progId),
        keyOnly(cr, clsidKey + L"\\Programmable"),
        text(cr, clsidKey + L"\\LocalServer32", L"", quoted),
        text(cr, clsidKey + L"\\TypeLib", L"", kLibId),
    };
    entries.insert(entries.end(), perClass.begin(), perClass.end());
  }
  return entries;
}

std::vector<std::wstring> RegistrationExpectations::keptMachineKeys() {
  return {L"SOFTWARE\\Mirdex", L"SOFTWARE\\Mirdex\\Services", L"SOFTWARE\\Mirdex\\Startup",
          L"SOFTWARE\\Mirdex\\Config"};
}

bool RegistrationExpectations::excludedFromErrorReporting() {
  for (const wchar_t* key : {kWerExclusionKey, kWineWerExclusionKey}) {
    if (RegistryReader::number(HKEY_LOCAL_MACHINE, key, L"Mirdex.exe") == 1u) return true;
  }
  return false;
}
