// Automation from other processes: this test program and a script, as a
// page or an outside program would, create the host's classes by ProgID
// and call them late-bound while the host runs. The classes are registered
// for the machine: Wine's COM does not read per-user class registrations.
#include "Bstr.h"
#include "ComApartment.h"
#include "ComPtr.h"
#include "DispatchCall.h"
#include "HostProcess.h"
#include "RegisteredProgramTest.h"
#include "RegistryReader.h"
#include "RunningHost.h"
#include "UniqueHandle.h"
#include "Variant.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

class AutomationTest : public RegisteredProgramTest {
protected:
  void SetUp() override {
    ASSERT_TRUE(apartment.ok());
    std::string why;
    ASSERT_TRUE(host.start(L"", why)) << why;
  }

  void TearDown() override {
    RegistryReader::deleteValue(HKEY_CURRENT_USER, L"Software\\Mirdex\\Config\\ProcessTests",
                                L"greeting");
    ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Mirdex\\Config\\ProcessTests");
  }

  // An object of the running host, created by ProgID.
  static HRESULT create(const wchar_t* progId, ComPtr<IDispatch>& object) {
    CLSID clsid;
    const HRESULT hr = ::CLSIDFromProgID(progId, &clsid);
    if (FAILED(hr)) return hr;
    return ::CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, object.putVoid());
  }

  static std::wstring text(const Variant& value) {
    const VARIANT& v = value;
    return v.vt == VT_BSTR && v.bstrVal ? std::wstring(v.bstrVal) : std::wstring(L"<not text>");
  }
  static long number(Variant& value) {
    long n = -12345;
    EXPECT_EQ(value.asLong(n), S_OK);
    return n;
  }

  ComApartment apartment;
  RunningHost host;
};

TEST_F(AutomationTest, ClientProcessUsesCollectionsAndConfigOfTheRunningHost) {
  // Served by the running instance: a new process started for the request
  // would find it running and end without serving anything.
  ComPtr<IDispatch> list;
  ASSERT_EQ(create(L"Mirdex.StringList", list), S_OK);
  ASSERT_EQ(DispatchCall::invokeByName(list.get(), L"AddStr", DISPATCH_METHOD, {Variant(L"alpha")}), S_OK);
  ASSERT_EQ(DispatchCall::invokeByName(list.get(), L"AddStr", DISPATCH_METHOD, {Variant(L"beta")}), S_OK);
  Variant result;
  ASSERT_EQ(DispatchCall::invokeByName(list.get(), L"size", DISPATCH_PROPERTYGET, {}, result.put()), S_OK);
  EXPECT_EQ(number(result), 2);
  ASSERT_EQ(DispatchCall::invokeByName(list.get(), L"GetStr", DISPATCH_METHOD, {Variant(1)}, result.put()),
            S_OK);
  EXPECT_EQ(text(result), L"beta");
  ASSERT_EQ(DispatchCall::invokeByName(list.get(), L"FindStr", DISPATCH_METHOD,
                                       {Variant(L"ALPHA"), Variant(false)}, result.put()),
            S_OK);
  EXPECT_EQ(number(result), 0);

  ComPtr<IDispatch> config;
  ASSERT_EQ(create(L"Mirdex.Config", config), S_OK);
  ASSERT_EQ(DispatchCall::invokeByName(config.get(), L"PluginName", DISPATCH_PROPERTYGET, {},
                                       result.put()),
            S_OK);
  EXPECT_EQ(text(result), L"Config,1.0");
  ASSERT_EQ(DispatchCall::invokeByName(config.get(), L"CreateConfig", DISPATCH_METHOD,
                                       {Variant(L"ProcessTests"), Variant(true)}, result.put()),
            S_OK);
  ASSERT_EQ(result.vt, VT_DISPATCH);
  ComPtr<IDispatch> section(result.pdispVal);
  ASSERT_TRUE(section);
  ASSERT_EQ(DispatchCall::invokeByName(section.get(), L"SetString", DISPATCH_METHOD,
                                       {Variant(L"greeting"), Variant(L"hello")}),
            S_OK);
  // Written by the host into the real registry.
  EXPECT_EQ(RegistryReader::text(HKEY_CURRENT_USER, L"Software\\Mirdex\\Config\\ProcessTests",
                                 L"greeting"),
            L"hello");
  ASSERT_EQ(DispatchCall::invokeByName(section.get(), L"GetString", DISPATCH_METHOD,
                                       {Variant(L"greeting"), Variant(L"")}, result.put()),
            S_OK);
  EXPECT_EQ(text(result), L"hello");
}

// Runs a script with the system's console script host; its echoed lines.
std::string runScript(const std::wstring& scriptText, DWORD& exitCode) {
  wchar_t folder[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, folder);
  const std::wstring script = std::wstring(folder) + L"mirdex_process_test.js";
  const std::wstring output = std::wstring(folder) + L"mirdex_process_test.txt";
  {
    std::ofstream out(script.c_str(), std::ios::binary);
    for (wchar_t c : scriptText) out.put(static_cast<char>(c));  // ASCII script
  }
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  KernelHandle file(::CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  exitCode = STILL_ACTIVE;
  if (!file) return {};
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = file.get();
  startup.hStdError = file.get();
  std::wstring line = L"cscript.exe //nologo \"" + script + L"\"";
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &info)) {
    return {};
  }
  KernelHandle process(info.hProcess);
  KernelHandle thread(info.hThread);
  file.reset();
  if (::WaitForSingleObject(process.get(), HostProcess::kLongWait) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.get(), 1);
    return {};
  }
  ::GetExitCodeProcess(process.get(), &exitCode);
  std::ifstream in(output.c_str(), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::string echoed = text.str();
  std::string lines;
  for (char c : echoed) {
    if (c != '\r') lines.push_back(c);
  }
  ::DeleteFileW(script.c_str());
  ::DeleteFileW(output.c_str());
  return lines;
}

TEST_F(AutomationTest, ScriptCreatesObjectsThroughActiveX) {
  const std::wstring script =
      L"var list = new ActiveXObject(\"Mirdex.ObjectList\");\n"
      L"list.Add(\"one\");\n"
      L"list.Add(2);\n"
      L"WScript.Echo(\"size=\" + list.size);\n"
      L"WScript.Echo(\"item0=\" + list.Get(0) + \" item1=\" + list.Get(1));\n"
      L"var config = new ActiveXObject(\"Mirdex.Config\");\n"
      L"WScript.Echo(\"plugin=\" + config.PluginName);\n"
      L"var section = config.CreateConfig(\"ProcessTests\", true);\n"
      L"section.SetString(\"greeting\", \"from script\");\n"
      L"WScript.Echo(\"greeting=\" + section.GetString(\"greeting\", \"\"));\n";
  DWORD exitCode = 0;
  const std::string output = runScript(script, exitCode);
  EXPECT_EQ(exitCode, 0u) << output;
  EXPECT_EQ(output,
            "size=2\n"
            "item0=one item1=2\n"
            "plugin=Config,1.0\n"
            "greeting=from script\n");
}

// Without a running instance, creating a class starts the program as its
// server (the registered LocalServer32 command line), which then runs as a
// whole host.
class ServerStartTest : public RegisteredProgramTest {
protected:
  void SetUp() override {
    ASSERT_TRUE(apartment.ok());
    ASSERT_TRUE(RunningHost::waitNoInstance(HostProcess::kLongWait));
    RegistryReader::deleteValue(HKEY_CURRENT_USER, RunningHost::kUserKey, L"hMainWin");
  }
  void TearDown() override {
    // The started host, found through its published main window.
    const HWND window = RunningHost::publishedMainWindow();
    DWORD id = 0;
    if (window) ::GetWindowThreadProcessId(window, &id);
    KernelHandle server(id ? ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id) : nullptr);
    if (window) ::EnableWindow(window, TRUE);  // as its page would
    HostProcess::quitRunningInstance();
    if (server && ::WaitForSingleObject(server.get(), HostProcess::kLongWait) != WAIT_OBJECT_0) {
      ::TerminateProcess(server.get(), 0xDEAD);
      ADD_FAILURE() << "the started host did not end on quit";
    }
    EXPECT_TRUE(RunningHost::waitNoInstance(HostProcess::kLongWait));
  }

  ComApartment apartment;
};

TEST_F(ServerStartTest, CreatingAClassStartsTheHost) {
  CLSID clsid;
  ASSERT_EQ(::CLSIDFromProgID(L"Mirdex.ObjectPair", &clsid), S_OK);
  ComPtr<IDispatch> pair;
  ASSERT_EQ(::CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, pair.putVoid()),
            S_OK);
  ASSERT_EQ(DispatchCall::invokeByName(pair.get(), L"key", DISPATCH_PROPERTYPUT, {Variant(L"k")}), S_OK);
  Variant key;
  ASSERT_EQ(DispatchCall::invokeByName(pair.get(), L"key", DISPATCH_PROPERTYGET, {}, key.put()), S_OK);
  ASSERT_EQ(key.vt, VT_BSTR);
  EXPECT_STREQ(key.bstrVal, L"k");
  // It is the single instance, and goes on to create its main window.
  EXPECT_TRUE(RunningHost::instanceRunning());
  const ULONGLONG end = ::GetTickCount64() + HostProcess::kLongWait;
  while (!RunningHost::publishedMainWindow() && ::GetTickCount64() < end) ::Sleep(50);
  EXPECT_NE(RunningHost::publishedMainWindow(), nullptr);
}

}  // namespace
