// The controller's own answers: the shared property bag and the computed
// system properties, the base URL, the main window's page window, window
// requests to the main page, the handlers' property rules, restart, and
// the protected-value members, early- and late-bound.
#include "CFrameworkController.h"
#include "CFrameworkWindow.h"
#include "ComApartment.h"
#include "ComModule.h"
#include "ComObject.h"
#include "DispatchCall.h"
#include "EnvironmentOverride.h"
#include "HtmlWindowStub.h"
#include "LogCapture.h"
#include "Logger.h"
#include "OperatingSystemTests.h"
#include "RecordingDispatch.h"
#include "StatusText.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

std::string narrow(std::wstring_view text) {
  std::string out;
  for (wchar_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

// A value for comparison: "type:text", e.g. "8:dark" for a string, "0:" for
// empty, "1:" for null, "11:True" for a boolean.
std::string describe(const VARIANT& value) {
  std::string out = std::to_string(V_VT(&value)) + ":";
  if (V_VT(&value) == VT_EMPTY || V_VT(&value) == VT_NULL) return out;
  if (V_VT(&value) == VT_BOOL) return out + (V_BOOL(&value) ? "True" : "False");
  Bstr text;
  if (SUCCEEDED(Variant::asString(value, text))) out += narrow(text.view());
  return out;
}

class ControllerPropertiesTest : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(apartment.ok());
    ASSERT_EQ(CFrameworkController::create(controller), S_OK);
  }

  void TearDown() override {
    controller->setMainWindow(nullptr);
    controller.reset();
  }

  std::string get(const wchar_t* key) {
    Variant value;
    EXPECT_EQ(controller->GetProperty(key ? Bstr(key).get() : nullptr, value.put()), S_OK);
    return describe(value);
  }

  void set(const wchar_t* key, const VARIANT& value) {
    EXPECT_EQ(controller->SetProperty(key ? Bstr(key).get() : nullptr, value), S_OK);
  }

  // The lines of the members, without the object's own life.
  std::vector<std::string> lines() const {
    std::vector<std::string> out;
    for (const LogCapture::Record& record : capture.records("controller")) {
      if (record.message != "CFrameworkController::FinalConstruct():" &&
          record.message != "CFrameworkController::FinalRelease():") {
        out.push_back(record.message);
      }
    }
    return out;
  }

  int levelOf(const std::string& text) const {
    for (const LogCapture::Record& record : capture.records("controller")) {
      if (record.message == text) return record.level;
    }
    return 0;
  }

  EnvironmentOverride logLevel{L"MIRDEX_LOG_LEVEL", L"debug"};
  ComApartment apartment;
  LogCapture capture;
  CFrameworkController::Ptr controller;
};

// ---------------------------------------------------------------------------
// properties

TEST_F(ControllerPropertiesTest, PropertyBagKeepsCopiesUnderExactKeys) {
  Variant five(5);
  Variant byReference;
  Variant referred(L"by ref");
  V_VT(&byReference) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&byReference) = &referred;
  Variant nullValue;
  V_VT(&nullValue) = VT_NULL;

  struct Step {
    const wchar_t* key;       // null: the null key
    std::optional<Variant> value;  // set when present, else only read
    const wchar_t* readKey;
    std::string expected;
  };
  const Step steps[] = {
      {L"theme", Variant(L"dark"), L"theme", "8:dark"},
      {nullptr, std::nullopt, L"Theme", "0:"},          // keys keep their case
      {nullptr, std::nullopt, L"THEME", "0:"},
      {L"theme", Variant(L"light"), L"theme", "8:light"},  // replaced
      {L"theme", Variant(), L"theme", "0:"},            // empty removes
      {L"theme", Variant(), L"theme", "0:"},            // and stays away
      {L"n", five, L"n", "3:5"},
      {L"n", nullValue, L"n", "0:"},                    // null removes too
      // An absent key takes whatever it is given, null included; a second
      // null removes it.
      {L"gone", nullValue, L"gone", "1:"},
      {L"gone", nullValue, L"gone", "0:"},
      {nullptr, Variant(L"no name"), L"", "8:no name"},  // the null key is the empty one
      {L"ref", byReference, L"ref", "8:by ref"},         // stored as the value referred to
      // Computed keys are answered from the system, never from the bag.
      {L"UserMode", Variant(L"Guest"), L"UserMode",
       OperatingSystemTests::isAdministrator() ? "8:Admin" : "8:User"},
      {L"osname", Variant(L"Amiga"), L"osname", "8:Amiga"},  // not a computed key in this case
      {nullptr, std::nullopt, L"OsName", "8:WinVista"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(narrow(step.key ? step.key : L"(null)") + " -> " + narrow(step.readKey));
    if (step.value) set(step.key, *step.value);
    EXPECT_EQ(get(step.readKey), step.expected);
  }
  // Changing the variable afterwards does not change the stored copy.
  referred = Variant(L"changed");
  EXPECT_EQ(get(L"ref"), "8:by ref");

  // Objects are kept by reference.
  ComPtr<ComObject<RecordingDispatch>> object;
  ASSERT_EQ(ComObject<RecordingDispatch>::create(object), S_OK);
  set(L"object", Variant(static_cast<IDispatch*>(object.get())));
  Variant back;
  ASSERT_EQ(controller->GetProperty(Bstr(L"object").get(), back.put()), S_OK);
  ASSERT_EQ(back.type(), VT_DISPATCH);
  EXPECT_TRUE(sameComObject(V_DISPATCH(&back), object.get()));

  EXPECT_EQ(controller->GetProperty(Bstr(L"theme").get(), nullptr), E_POINTER);
}

TEST_F(ControllerPropertiesTest, ComputedPropertiesFollowTheSystem) {
  // Wine reports Windows 7 unless told otherwise.
  EXPECT_EQ(get(L"OsName"), "8:WinVista");
  EXPECT_EQ(get(L"WindowsVista"), "11:True");
  EXPECT_EQ(get(L"UserMode"), OperatingSystemTests::isAdministrator() ? "8:Admin" : "8:User");

  // Account control follows the policy value, read at each call.
  const wchar_t* const policies = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
  RegKey key;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, policies, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                              key.put(), nullptr),
            ERROR_SUCCESS);
  DWORD saved = 0;
  DWORD savedType = REG_NONE;
  DWORD bytes = sizeof(saved);
  const bool existed = ::RegQueryValueExW(key.get(), L"EnableLUA", nullptr, &savedType,
                                          reinterpret_cast<BYTE*>(&saved), &bytes) == ERROR_SUCCESS;
  struct Case {
    DWORD type;
    DWORD value;
    const char* expected;
  };
  const Case cases[] = {{REG_DWORD, 1, "11:True"}, {REG_DWORD, 0, "11:False"}, {REG_SZ, 1, "11:False"}};
  for (const Case& c : cases) {
    ASSERT_EQ(::RegSetValueExW(key.get(), L"EnableLUA", 0, c.type, reinterpret_cast<const BYTE*>(&c.value),
                               sizeof(c.value)),
              ERROR_SUCCESS);
    EXPECT_EQ(get(L"WindowsUAC"), c.expected) << c.type << " " << c.value;
  }
  ::RegDeleteValueW(key.get(), L"EnableLUA");
  EXPECT_EQ(get(L"WindowsUAC"), "11:False");
  if (existed) {
    ::RegSetValueExW(key.get(), L"EnableLUA", 0, savedType, reinterpret_cast<const BYTE*>(&saved), bytes);
  }

  // As pages ask.
  Variant result;
  ASSERT_EQ(DispatchCall::invokeByName(controller.get(), L"GetProperty", DISPATCH_METHOD, {Variant(L"OsName")},
                                       result.put()),
            S_OK);
  EXPECT_EQ(describe(result), "8:WinVista");
  ASSERT_EQ(DispatchCall::invokeByName(controller.get(), L"SetProperty", DISPATCH_METHOD,
                                       {Variant(L"shared"), Variant(42)}),
            S_OK);
  ASSERT_EQ(DispatchCall::invokeByName(controller.get(), L"GetProperty", DISPATCH_METHOD, {Variant(L"shared")},
                                       result.put()),
            S_OK);
  EXPECT_EQ(describe(result), "3:42");
}

TEST_F(ControllerPropertiesTest, BaseUrlNamesTheProgramsPages) {
  Bstr url;
  ASSERT_EQ(controller->get_BaseUrl(url.put()), S_OK);
  EXPECT_EQ(url.str(), L"res://" + ComModule::modulePath() + L"/_HTML_/");
  EXPECT_EQ(controller->get_BaseUrl(nullptr), E_POINTER);
}

// ---------------------------------------------------------------------------
// windows

// A main window as the start-up code makes it, without its real window
// (which would need a browser that can show pages), and the page window
// its shell records.
class MainWindowTest : public ControllerPropertiesTest {
protected:
  void SetUp() override {
    ControllerPropertiesTest::SetUp();
    ASSERT_EQ(ComObject<HtmlWindowStub>::create(page), S_OK);
  }

  CFrameworkWindow mainWindow{nullptr};
  ComPtr<ComObject<HtmlWindowStub>> page;
};

TEST_F(MainWindowTest, MainWindowIsThePageWindowTheMainWindowRecorded) {
  const std::string notSet = "CFrameworkController::get_MainWindow: html window in main window not set";
  ComPtr<IDispatch> window;
  // Before the main window exists, then before its page recorded a window.
  for (const bool attach : {false, true}) {
    if (attach) controller->setMainWindow(&mainWindow);
    ASSERT_EQ(controller->get_MainWindow(window.put()), S_OK);
    EXPECT_FALSE(window);
  }
  EXPECT_EQ(lines(), (std::vector<std::string>{notSet, notSet}));
  EXPECT_EQ(levelOf(notSet), Logger::kError);

  mainWindow.setHtmlWindow(page.get());
  ASSERT_EQ(controller->get_MainWindow(window.put()), S_OK);
  ASSERT_TRUE(window);
  EXPECT_TRUE(sameComObject(window.get(), static_cast<IHTMLWindow2*>(page.get())));
  EXPECT_EQ(lines().size(), 2u);

  // Late-bound, as pages read it.
  Variant result;
  ASSERT_EQ(DispatchCall::invokeByName(controller.get(), L"MainWindow", DISPATCH_PROPERTYGET, {}, result.put()),
            S_OK);
  ASSERT_EQ(result.type(), VT_DISPATCH);
  EXPECT_TRUE(sameComObject(V_DISPATCH(&result), window.get()));
  EXPECT_EQ(controller->get_MainWindow(nullptr), E_POINTER);
  mainWindow.setHtmlWindow(nullptr);
}

TEST(OpenWindowScriptTest, BuildsTheCallOfTheMainPagesFunction) {
  struct Case {
    const wchar_t* name;
    const wchar_t* url;
    LONG width;
    LONG height;
    const wchar_t* script;
  };
  const Case cases[] = {
      {L"help", L"res://x\\y.html", 300, 200, L"gg_OpenWindow('help', 'res://x\\\\y.html', 300, 200)"},
      {L"name", L"url", 0, 0, L"gg_OpenWindow('name', 'url')"},
      // A zero size is left out, so a lone height stands where the width would.
      {L"name", L"url", 0, 200, L"gg_OpenWindow('name', 'url', 200)"},
      {L"name", L"url", 300, 0, L"gg_OpenWindow('name', 'url', 300)"},
      {L"n", L"u", -1, -2, L"gg_OpenWindow('n', 'u', -1, -2)"},
      {L"", L"", 0, 0, L"gg_OpenWindow('', '')"},
      // Every backslash of the URL is doubled; the name is taken as it is,
      // and quotes are not escaped in either.
      {L"a\\b", L"\\\\server\\share\\", 1, 1, L"gg_OpenWindow('a\\b', '\\\\\\\\server\\\\share\\\\', 1, 1)"},
      {L"it's", L"x'y", 0, 0, L"gg_OpenWindow('it's', 'x'y')"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CFrameworkController::openWindowScript(c.name, c.url, c.width, c.height), c.script)
        << narrow(c.script);
  }
}

TEST_F(MainWindowTest, OpenWindowRunsTheScriptInTheMainPage) {
  // Without a main window (and then without its page window) only the lines.
  const std::vector<std::string> logged = {
      "CFrameworkController::OpenWindow: name=help url=res://x\\y.html w=300 h=200",
      "CFrameworkController::OpenWindow: gg_OpenWindow('help', 'res://x\\\\y.html', 300, 200)",
  };
  for (const bool attach : {false, true}) {
    if (attach) controller->setMainWindow(&mainWindow);
    ASSERT_EQ(controller->OpenWindow(Bstr(L"help").get(), Bstr(L"res://x\\y.html").get(), 300, 200), S_OK);
  }
  EXPECT_EQ(lines(), (std::vector<std::string>{logged[0], logged[1], logged[0], logged[1]}));
  EXPECT_EQ(levelOf(logged[0]), Logger::kInfo);

  mainWindow.setHtmlWindow(page.get());
  ASSERT_EQ(DispatchCall::invokeByName(controller.get(), L"OpenWindow", DISPATCH_METHOD,
                                       {Variant(L"chat"), Variant(L"res://chat.html"), Variant(0), Variant(0)}),
            S_OK);
  std::vector<HtmlWindowStub::Script> scripts = page->scripts();
  ASSERT_EQ(scripts.size(), 1u);
  EXPECT_EQ(scripts[0].code, L"gg_OpenWindow('chat', 'res://chat.html')");
  EXPECT_EQ(scripts[0].language, L"javascript");

  // A page that fails the script: reported, and still S_OK.
  page->setExecResult(DISP_E_EXCEPTION);
  const size_t before = lines().size();
  ASSERT_EQ(controller->OpenWindow(Bstr(L"x").get(), nullptr, 0, 0), S_OK);
  const std::vector<std::string> after = lines();
  ASSERT_EQ(after.size(), before + 3);
  EXPECT_EQ(after[before], "CFrameworkController::OpenWindow: name=x url= w=0 h=0");
  EXPECT_EQ(after[before + 1], "CFrameworkController::OpenWindow: gg_OpenWindow('x', '')");
  const std::string failed = "CFrameworkController::OpenWindow: execScript failed: " + StatusText(DISP_E_EXCEPTION).str();
  EXPECT_EQ(after[before + 2], failed);
  EXPECT_EQ(levelOf(failed), Logger::kError);
  EXPECT_EQ(page->scripts().size(), 2u);
  mainWindow.setHtmlWindow(nullptr);
}

TEST_F(ControllerPropertiesTest, HandlerPropertiesStoreClearOrRefuse) {
  ComPtr<ComObject<RecordingDispatch>> handler;
  ASSERT_EQ(ComObject<RecordingDispatch>::create(handler), S_OK);
  IDispatch* const function = handler.get();
  Variant number(7);
  Variant nullValue;
  V_VT(&nullValue) = VT_NULL;
  Variant nullObject;
  V_VT(&nullObject) = VT_DISPATCH;
  V_DISPATCH(&nullObject) = nullptr;
  Variant text(L"function");

  struct Step {
    const Variant* put;
    HRESULT result;
    bool setAfter;
  };
  const Variant object(function);
  const Variant empty;
  const Step steps[] = {
      {&object, S_OK, true},      {&number, E_INVALIDARG, true},  // refused: the handler stays
      {&text, E_INVALIDARG, true}, {&empty, S_OK, false},
      {&object, S_OK, true},      {&nullValue, S_OK, false},
      {&object, S_OK, true},      {&nullObject, S_OK, false},
  };
  for (const wchar_t* property : {L"onLaunchString", L"onChangeMainWindow"}) {
    for (const Step& step : steps) {
      SCOPED_TRACE(narrow(property) + " put " + describe(*step.put));
      Variant arg(static_cast<const VARIANT&>(*step.put));
      EXPECT_EQ(DispatchCall::invokeByName(controller.get(), property, DISPATCH_PROPERTYPUT, {arg}), step.result);
      Variant got;
      ASSERT_EQ(DispatchCall::invokeByName(controller.get(), property, DISPATCH_PROPERTYGET, {}, got.put()), S_OK);
      ASSERT_EQ(got.type(), VT_DISPATCH);
      if (step.setAfter) {
        EXPECT_TRUE(sameComObject(V_DISPATCH(&got), function));
      } else {
        EXPECT_EQ(V_DISPATCH(&got), nullptr);
      }
    }
  }
  EXPECT_EQ(controller->get_onLaunchString(nullptr), E_POINTER);
  EXPECT_EQ(controller->get_onChangeMainWindow(nullptr), E_POINTER);
}

TEST_F(ControllerPropertiesTest, ChangeMainWindowCallsTheHandlerWithItsArguments) {
  // Without a handler nothing happens.
  EXPECT_EQ(controller->ChangeMainWindow(Bstr(L"SilentMode").get(), Variant(true), Variant()), S_OK);

  ComPtr<ComObject<RecordingDispatch>> handler;
  ASSERT_EQ(ComObject<RecordingDispatch>::create(handler), S_OK);
  ASSERT_EQ(controller->put_onChangeMainWindow(Variant(static_cast<IDispatch*>(handler.get()))), S_OK);
  ASSERT_EQ(DispatchCall::invokeByName(controller.get(), L"ChangeMainWindow", DISPATCH_METHOD,
                                       {Variant(L"SilentMode"), Variant(true), Variant()}),
            S_OK);
  ASSERT_EQ(controller->ChangeMainWindow(nullptr, Variant(3), Variant(L"x")), S_OK);

  const std::vector<RecordingDispatch::Call> calls = handler->calls();
  ASSERT_EQ(calls.size(), 2u);
  for (const RecordingDispatch::Call& call : calls) {
    EXPECT_EQ(call.id, DISPID_VALUE);
    EXPECT_EQ(call.flags, DISPATCH_METHOD);
    EXPECT_EQ(call.thread, ::GetCurrentThreadId());
    ASSERT_EQ(call.args.size(), 3u);
  }
  EXPECT_EQ(describe(calls[0].args[0]), "8:SilentMode");
  EXPECT_EQ(describe(calls[0].args[1]), "11:True");
  EXPECT_EQ(describe(calls[0].args[2]), "0:");
  EXPECT_EQ(describe(calls[1].args[0]), "8:");  // the operation is always a string
  EXPECT_EQ(describe(calls[1].args[1]), "3:3");
  EXPECT_EQ(describe(calls[1].args[2]), "8:x");
  EXPECT_TRUE(lines().empty());
}

TEST_F(MainWindowTest, RestartWithoutTheMainWindowsShellOnlyLogs) {
  const std::vector<std::string> enterLeave = {"CFrameworkController::Restart(): enter",
                                               "CFrameworkController::Restart(): leave"};
  ASSERT_EQ(controller->Restart(), S_OK);
  EXPECT_EQ(lines(), enterLeave);
  EXPECT_EQ(levelOf(enterLeave[0]), Logger::kDebug);
  EXPECT_EQ(levelOf(enterLeave[1]), Logger::kDebug);

  // A main window whose real window (and with it the shell) was never made.
  controller->setMainWindow(&mainWindow);
  ASSERT_EQ(DispatchCall::invokeByName(controller.get(), L"Restart", DISPATCH_METHOD, {}), S_OK);
  EXPECT_EQ(lines(), (std::vector<std::string>{enterLeave[0], enterLeave[1], enterLeave[0], enterLeave[1]}));
}

// ---------------------------------------------------------------------------
// protected values

TEST_F(ControllerPropertiesTest, EncodeAndDecodeAsPagesCallThem) {
  const auto call = [&](const wchar_t* member, const wchar_t* purpose, const wchar_t* src) {
    Variant result;
    EXPECT_EQ(DispatchCall::invokeByName(controller.get(), member, DISPATCH_METHOD, {Variant(purpose), Variant(src)},
                                         result.put()),
              S_OK);
    EXPECT_EQ(result.type(), VT_BSTR);
    return result.type() == VT_BSTR && V_BSTR(&result) ? std::optional<std::wstring>(V_BSTR(&result))
                                                       : std::nullopt;
  };
  EXPECT_EQ(call(L"Encode", L"Proxy", L"ab"), L"YWI");
  EXPECT_EQ(call(L"Decode", L"proxy", L"YWI="), L"ab");

  const std::optional<std::wstring> login = call(L"Encode", L"LOGIN", L"secret");
  ASSERT_TRUE(login);
  EXPECT_EQ(login->size(), 46u);
  EXPECT_TRUE(login->starts_with(L"03150101010010"));
  EXPECT_EQ(call(L"Encode", L"LogIn", L"secret"), login);
  // A null result reaches a late-bound caller as an empty text.
  EXPECT_EQ(call(L"Decode", L"LogIn", login->c_str()), L"");

  const std::wstring text = L"J\u00FCrgen \u4E2D";
  const std::optional<std::wstring> access = call(L"Encode", L"MirdexAccess", text.c_str());
  ASSERT_TRUE(access);
  EXPECT_TRUE(access->starts_with(L"0") && access->ends_with(L"0"));
  EXPECT_EQ(call(L"Decode", L"MirdexAccess", access->c_str()), text);

  EXPECT_EQ(call(L"Encode", L"Other", L"x"), L"");
  EXPECT_EQ(levelOf("CFrameworkController:Encode(Other): unsupported purpose"), Logger::kError);

  // Early-bound: a null text is refused with a null result, a null result
  // pointer with E_POINTER.
  Bstr code;
  ASSERT_EQ(controller->Encode(Bstr(L"Proxy").get(), nullptr, code.put()), S_OK);
  EXPECT_TRUE(code.isNull());
  EXPECT_EQ(levelOf("CFrameworkController:Encode(Proxy): invalid parameters"), Logger::kError);
  EXPECT_EQ(controller->Encode(Bstr(L"Proxy").get(), Bstr(L"x").get(), nullptr), E_POINTER);
  EXPECT_EQ(controller->Decode(Bstr(L"Proxy").get(), Bstr(L"x").get(), nullptr), E_POINTER);
}

}  // namespace
