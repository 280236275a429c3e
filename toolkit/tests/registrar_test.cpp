// Registration tables written to and removed from the real registry. Class
// entries go to the user's classes (per-user registration); machine and
// user entries are sent below a test key so the test never touches the
// machine's hive.
#include "Registrar.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using E = RegistryEntry;
using R = RegistryRoot;

constexpr wchar_t kTestRoot[] = L"Software\\MirdexComTest";
constexpr wchar_t kClsid[] = L"{5C0B3E0A-6A1D-4C43-9E51-1A0E6E4A7B21}";
constexpr wchar_t kClsidKey[] = L"CLSID\\{5C0B3E0A-6A1D-4C43-9E51-1A0E6E4A7B21}";

// Shaped like the program's own tables: application identity, ProgIDs, a
// class removed whole, a URL protocol with a shell command, machine
// defaults whose keys stay, an application path and per-user settings.
const E kEntries[] = {
    E::string(R::ClassesRoot, L"AppID\\%APPID%", L"", L"%APPNAME%"),
    E::string(R::ClassesRoot, L"AppID\\%APPNAME%Test.EXE", L"AppID", L"%APPID%"),
    E::string(R::ClassesRoot, L"%APPNAME%Test.Thing.1", L"", L"Thing Class"),
    E::string(R::ClassesRoot, L"%APPNAME%Test.Thing.1\\CLSID", L"", kClsid),
    E::string(R::ClassesRoot, L"%APPNAME%Test.Thing", L"", L"Thing Class"),
    E::string(R::ClassesRoot, L"%APPNAME%Test.Thing\\CLSID", L"", kClsid),
    E::string(R::ClassesRoot, L"%APPNAME%Test.Thing\\CurVer", L"", L"%APPNAME%Test.Thing.1"),
    E::string(R::ClassesRoot, kClsidKey, L"", L"Thing Class", E::kDeleteTree),
    E::string(R::ClassesRoot, kClsidKey, L"AppID", L"%APPID%"),
    E::string(R::ClassesRoot, L"CLSID\\{5C0B3E0A-6A1D-4C43-9E51-1A0E6E4A7B21}\\ProgID", L"",
              L"%APPNAME%Test.Thing.1"),
    E::keyOnly(R::ClassesRoot, L"CLSID\\{5C0B3E0A-6A1D-4C43-9E51-1A0E6E4A7B21}\\Programmable"),
    E::string(R::ClassesRoot, L"CLSID\\{5C0B3E0A-6A1D-4C43-9E51-1A0E6E4A7B21}\\LocalServer32",
              L"", L"%MODULE%"),
    E::string(R::ClassesRoot, L"%APPNAME%test", L"", L"URL:Test Protocol"),
    E::string(R::ClassesRoot, L"%APPNAME%test", L"URL Protocol", L""),
    E::string(R::ClassesRoot, L"%APPNAME%test\\shell\\open\\command", L"",
              L"%MODULE% /launch \"%1\""),
    E::keyOnly(R::LocalMachine, L"SOFTWARE\\%APPNAME%Test", E::kKeepKey),
    E::string(R::LocalMachine, L"SOFTWARE\\%APPNAME%Test\\Services", L"Logger",
              L"CLSID:{C06D2BCE-B8DD-4E7C-B5D3-27653B411F80}", E::kKeepKey),
    E::keyOnly(R::LocalMachine, L"SOFTWARE\\%APPNAME%Test\\Startup", E::kKeepKey),
    E::string(R::LocalMachine,
              L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\%APPNAME%Test.exe", L"",
              L"%MODULE%"),
    E::dword(R::LocalMachine,
             L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\%APPNAME%Test.exe",
             L"AllowMessengerExecHandleFailure", 1),
    E::expandString(R::CurrentUser, L"Software\\%APPNAME%Test\\browser\\Main", L"Home",
                    L"%%USERPROFILE%%"),
    E::dword(R::CurrentUser, L"Software\\%APPNAME%Test\\browser\\Main", L"UseThemes", 1),
};

constexpr wchar_t kModule[] = L"C:\\Program Files\\Mirdex\\Mirdex.exe";
constexpr wchar_t kAppId[] = L"{0E32997A-5237-44A1-9FAE-99197A9E337C}";

bool keyExists(HKEY base, const std::wstring& path) {
  RegKey key;
  return ::RegOpenKeyExW(base, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

bool readText(HKEY base, const std::wstring& path, const wchar_t* name, std::wstring& text,
              DWORD& type) {
  wchar_t buffer[512] = {};
  DWORD bytes = sizeof(buffer);
  if (::RegGetValueW(base, path.c_str(), name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                     &type, buffer, &bytes) != ERROR_SUCCESS) {
    return false;
  }
  text = buffer;
  return true;
}

class RegistrarTest : public testing::Test {
protected:
  void SetUp() override {
    cleanUp();
    registrar.addReplacement(L"APPNAME", L"MirdexCom");
    registrar.addReplacement(L"APPID", kAppId);
    registrar.addReplacement(L"MODULE", kModule);
    registrar.setPerUserClasses(true);
    registrar.mapRoot(R::LocalMachine, HKEY_CURRENT_USER, std::wstring(kTestRoot) + L"\\Machine");
    registrar.mapRoot(R::CurrentUser, HKEY_CURRENT_USER, std::wstring(kTestRoot) + L"\\User");
  }
  void TearDown() override { cleanUp(); }

  static void cleanUp() {
    for (const wchar_t* path :
         {L"Software\\Classes\\AppID\\{0E32997A-5237-44A1-9FAE-99197A9E337C}",
          L"Software\\Classes\\AppID\\MirdexComTest.EXE", L"Software\\Classes\\MirdexComTest.Thing.1",
          L"Software\\Classes\\MirdexComTest.Thing", L"Software\\Classes\\mirdexcomtest",
          L"Software\\Classes\\CLSID\\{5C0B3E0A-6A1D-4C43-9E51-1A0E6E4A7B21}", kTestRoot}) {
      ::RegDeleteTreeW(HKEY_CURRENT_USER, path);
      ::RegDeleteKeyW(HKEY_CURRENT_USER, path);
    }
  }

  static std::wstring classes(const std::wstring& path) { return L"Software\\Classes\\" + path; }
  static std::wstring machine(const std::wstring& path) {
    return std::wstring(kTestRoot) + L"\\Machine\\" + path;
  }
  static std::wstring user(const std::wstring& path) {
    return std::wstring(kTestRoot) + L"\\User\\" + path;
  }

  Registrar registrar;
};

TEST(RegistrarExpand, ReplacesKnownNamesAndKeepsTheRest) {
  Registrar r;
  r.addReplacement(L"APPNAME", L"Mirdex");
  r.addReplacement(L"MODULE", L"C:\\m.exe");
  r.addReplacement(L"appname", L"Mirdex2");  // the same name: replaces
  struct Case {
    const wchar_t* in;
    const wchar_t* out;
  } const cases[] = {
      {L"%APPNAME%", L"Mirdex2"},
      {L"%AppName%.Config", L"Mirdex2.Config"},
      {L"\"%MODULE%\" /launch \"%1\"", L"\"C:\\m.exe\" /launch \"%1\""},
      {L"100%%", L"100%"},
      {L"%%1", L"%1"},
      {L"%UNKNOWN%", L"%UNKNOWN%"},
      {L"%", L"%"},
      {L"a%APPNAME", L"a%APPNAME"},
      {L"%MODULE%%MODULE%", L"C:\\m.exeC:\\m.exe"},
      {L"", L""},
  };
  for (const Case& c : cases) EXPECT_EQ(r.expand(c.in), c.out) << c.in;
}

TEST_F(RegistrarTest, WritesEveryEntryAndRemovalLeavesOnlyKeptKeys) {
  ASSERT_EQ(registrar.write(kEntries), S_OK);

  const std::wstring module = kModule;
  struct Expect {
    std::wstring path;
    const wchar_t* name;
    std::wstring text;
    DWORD type;
  } const texts[] = {
      {classes(L"AppID\\{0E32997A-5237-44A1-9FAE-99197A9E337C}"), L"", L"MirdexCom", REG_SZ},
      {classes(L"AppID\\MirdexComTest.EXE"), L"AppID", kAppId, REG_SZ},
      {classes(L"MirdexComTest.Thing.1\\CLSID"), L"", kClsid, REG_SZ},
      {classes(L"MirdexComTest.Thing\\CurVer"), L"", L"MirdexComTest.Thing.1", REG_SZ},
      {classes(kClsidKey), L"AppID", kAppId, REG_SZ},
      {classes(kClsidKey) + L"\\LocalServer32", L"", module, REG_SZ},
      {classes(L"mirdexcomtest"), L"URL Protocol", L"", REG_SZ},
      {classes(L"mirdexcomtest\\shell\\open\\command"), L"", module + L" /launch \"%1\"", REG_SZ},
      {machine(L"SOFTWARE\\MirdexComTest\\Services"), L"Logger",
       L"CLSID:{C06D2BCE-B8DD-4E7C-B5D3-27653B411F80}", REG_SZ},
      {machine(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\MirdexComTest.exe"), L"",
       module, REG_SZ},
      {user(L"Software\\MirdexComTest\\browser\\Main"), L"Home", L"%USERPROFILE%", REG_EXPAND_SZ},
  };
  for (const Expect& e : texts) {
    std::wstring text;
    DWORD type = 0;
    ASSERT_TRUE(readText(HKEY_CURRENT_USER, e.path, e.name, text, type)) << e.path << " " << e.name;
    EXPECT_EQ(text, e.text) << e.path;
    EXPECT_EQ(type, e.type) << e.path;
  }
  DWORD number = 0, bytes = sizeof(number);
  EXPECT_EQ(::RegGetValueW(HKEY_CURRENT_USER,
                           machine(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App "
                                   L"Paths\\MirdexComTest.exe")
                               .c_str(),
                           L"AllowMessengerExecHandleFailure", RRF_RT_REG_DWORD, nullptr, &number,
                           &bytes),
            ERROR_SUCCESS);
  EXPECT_EQ(number, 1u);
  EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, classes(kClsidKey) + L"\\Programmable"));

  ASSERT_EQ(registrar.remove(kEntries), S_OK);

  for (const std::wstring& gone :
       {classes(L"AppID\\{0E32997A-5237-44A1-9FAE-99197A9E337C}"),
        classes(L"AppID\\MirdexComTest.EXE"), classes(L"MirdexComTest.Thing.1"),
        classes(L"MirdexComTest.Thing"), classes(kClsidKey), classes(L"mirdexcomtest"),
        machine(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\MirdexComTest.exe"),
        user(L"Software\\MirdexComTest\\browser\\Main")}) {
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, gone)) << gone;
  }
  // The kept keys stay, emptied of the values the table named.
  EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, machine(L"SOFTWARE\\MirdexComTest\\Startup")));
  std::wstring text;
  DWORD type = 0;
  EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, machine(L"SOFTWARE\\MirdexComTest\\Services")));
  EXPECT_FALSE(readText(HKEY_CURRENT_USER, machine(L"SOFTWARE\\MirdexComTest\\Services"),
                        L"Logger", text, type));

  // Removing again finds nothing to do and is not an error.
  EXPECT_EQ(registrar.remove(kEntries), S_OK);
}

TEST_F(RegistrarTest, RemovalSparesOthersEntriesExceptInTreesRemovedWhole) {
  ASSERT_EQ(registrar.write(kEntries), S_OK);
  // Someone else's value in a ProgID key, and a subkey in the class key.
  const std::wstring progId = classes(L"MirdexComTest.Thing");
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, progId.c_str(), L"Foreign", REG_SZ, L"x", 4),
            ERROR_SUCCESS);
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, (classes(kClsidKey) + L"\\Foreign").c_str(),
                              nullptr, REG_SZ, L"x", 4),
            ERROR_SUCCESS);

  ASSERT_EQ(registrar.remove(kEntries), S_OK);
  std::wstring text;
  DWORD type = 0;
  EXPECT_TRUE(readText(HKEY_CURRENT_USER, progId, L"Foreign", text, type));
  EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, progId + L"\\CurVer"));
  EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, classes(kClsidKey)));
}

TEST_F(RegistrarTest, RewritingATreeKeyDropsStaleSubkeys) {
  const std::wstring stale = classes(kClsidKey) + L"\\InprocServer32";
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, stale.c_str(), nullptr, REG_SZ, L"old.dll", 16),
            ERROR_SUCCESS);
  ASSERT_EQ(registrar.write(kEntries), S_OK);
  EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, stale));
  EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, classes(kClsidKey) + L"\\LocalServer32"));
  ASSERT_EQ(registrar.remove(kEntries), S_OK);
}

TEST_F(RegistrarTest, WriteStopsAtTheFirstBadEntry) {
  const E entries[] = {
      E::string(R::CurrentUser, L"Software\\First", L"v", L"1"),
      {R::CurrentUser, L"Software\\Second", L"v", REG_BINARY, nullptr, 0, 0},
      E::string(R::CurrentUser, L"Software\\Third", L"v", L"3"),
  };
  EXPECT_EQ(registrar.write(entries), E_INVALIDARG);
  EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, user(L"Software\\First")));
  EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, user(L"Software\\Third")));
}

}  // namespace
