// Launch strings: taking a URL apart and percent-decoding it, the
// controller's parameters object with its age rule, the announcement to
// connected sinks and the script handler, and the monitor thread that
// takes the value "LaunchString" from the real registry and hands it to the
// controller on its own thread.
#include "CFrameworkController.h"
#include "ClassObjectRegistration.h"
#include "CollectionClasses.h"
#include "ComApartment.h"
#include "ComObject.h"
#include "CreatedKeys.h"
#include "DispatchCall.h"
#include "EnvironmentOverride.h"
#include "FrameworkTypeLibrary.h"
#include "LaunchParametersText.h"
#include "LaunchStringParser.h"
#include "LaunchStringThread.h"
#include "LogCapture.h"
#include "Logger.h"
#include "MessagePump.h"
#include "RecordingDispatch.h"
#include "StatusText.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr const wchar_t* kUserKey = L"Software\\Mirdex";
constexpr const wchar_t* kValueName = L"LaunchString";

std::string narrow(std::wstring_view text) {
  std::string out;
  for (wchar_t c : text) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      char hex[8];
      ::wsprintfA(hex, "\\u%04X", static_cast<unsigned>(c));
      out += hex;
    }
  }
  return out;
}

// ---------------------------------------------------------------------------
// taking a launch string apart

TEST(LaunchStringParserTest, PercentDecodesNamesAndValues) {
  struct Case {
    const wchar_t* text;
    const wchar_t* decoded;
    bool malformed;
  };
  const Case cases[] = {
      {L"", L"", false},
      {L"plain text", L"plain text", false},
      {L"a+b", L"a+b", false},  // '+' is no blank here
      {L"%41%42c", L"ABc", false},
      {L"J%C3%BCrgen", L"J\u00FCrgen", false},
      {L"j%c3%bcrgen", L"j\u00FCrgen", false},
      {L"%E4%B8%AD%u0041", L"\u4E2DA", false},
      {L"%F0%9F%98%80", L"\U0001F600", false},
      {L"%u4E2D", L"\u4E2D", false},
      {L"%U4e2d!", L"\u4E2D!", false},
      // Bytes that are not UTF-8 keep their code values.
      {L"%FC", L"\u00FC", false},
      {L"%C3x%BC", L"\u00C3x\u00BC", false},
      // A UTF-16 escape ends a run of bytes like any other character.
      {L"%C3%u00BC", L"\u00C3\u00BC", false},
      // Malformed escapes stay as written; what stopped them is read as usual.
      {L"%zz", L"%zz", true},
      {L"%", L"%", true},
      {L"50%", L"50%", true},
      {L"%4", L"%4", true},
      {L"%4g", L"%4g", true},
      {L"%%41", L"%A", true},
      {L"%u12", L"%u12", true},
      {L"%u12G4", L"%u12G4", true},
      {L"%u%41", L"%uA", true},
      {L"%C3%BC%zz", L"\u00FC%zz", true},
  };
  for (const Case& c : cases) {
    bool malformed = !c.malformed;
    EXPECT_EQ(LaunchStringParser::percentDecode(c.text, &malformed), c.decoded) << narrow(c.text);
    EXPECT_EQ(malformed, c.malformed) << narrow(c.text);
  }
}

TEST(LaunchStringParserTest, SplitsSchemePathAndQuery) {
  struct Case {
    const wchar_t* text;
    const wchar_t* scheme;
    const wchar_t* path;
    std::vector<std::pair<std::wstring, std::wstring>> query;
  };
  const Case cases[] = {
      {L"mirdex://open/chat?id=42&name=J%C3%BCrgen#top", L"mirdex", L"//open/chat",
       {{L"id", L"42"}, {L"name", L"J\u00FCrgen"}}},
      {L"x:?a=1&a=2&a=3", L"x", L"", {{L"a", L"1"}, {L"a", L"2"}, {L"a", L"3"}}},
      // Pieces with neither name nor value are skipped; a name alone has an
      // empty value.
      {L"s:p?a=1&b&&=&c=%41", L"s", L"p", {{L"a", L"1"}, {L"b", L""}, {L"c", L"A"}}},
      {L"s:p?=v&n=", L"s", L"p", {{L"", L"v"}, {L"n", L""}}},
      {L"s:p?a==b", L"s", L"p", {{L"a", L"=b"}}},
      {L"s:p?%41%3D=%3d", L"s", L"p", {{L"A=", L"="}}},
      // Without ':' everything before the query is the path.
      {L"no-colon/path?q=1#frag", L"", L"no-colon/path", {{L"q", L"1"}}},
      {L"?x=%zz", L"", L"", {{L"x", L"%zz"}}},
      // The scheme keeps its case; the path is never decoded.
      {L"MiRdEx:a:%41b?", L"MiRdEx", L"a:%41b", {}},
      // The fragment goes first, query marks and all.
      {L"s:p#f?x=1", L"s", L"p", {}},
      {L"s:p?x=1#f&y=2", L"s", L"p", {{L"x", L"1"}}},
      {L"", L"", L"", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(narrow(c.text));
    const LaunchStringParser::Parts parts = LaunchStringParser::split(c.text);
    EXPECT_EQ(parts.scheme, c.scheme);
    EXPECT_EQ(parts.path, c.path);
    EXPECT_EQ(parts.query, c.query);
  }
}

// ---------------------------------------------------------------------------
// the controller

DWORD g_tick = 0;
DWORD WINAPI testTick() { return g_tick; }

class LaunchStringTest : public testing::Test {
protected:
  // Registering the library takes Wine a while: once for all the cases.
  static void SetUpTestSuite() { typeLibrary = std::make_unique<FrameworkTypeLibrary>(); }
  static void TearDownTestSuite() { typeLibrary.reset(); }

  void SetUp() override {
    ASSERT_TRUE(apartment.ok());
    ASSERT_EQ(typeLibrary->result(), S_OK);
    ASSERT_EQ(collections.registerAll(CollectionClasses::classEntries()), S_OK);
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kUserKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                                userKey.put(), nullptr),
              ERROR_SUCCESS);
    ::RegDeleteValueW(userKey.get(), kValueName);
    ASSERT_EQ(CFrameworkController::create(controller), S_OK);
  }

  void TearDown() override {
    if (controller) {
      if (m_started) controller->destroy();
      controller.reset();
    }
    ::RegDeleteValueW(userKey.get(), kValueName);
  }

  void start() {
    controller->init();
    m_started = true;
  }

  void setLaunchString(const wchar_t* url) {
    EXPECT_EQ(controller->SetLaunchString(url ? Bstr(url).get() : nullptr), S_OK);
  }

  ComPtr<IStringObjectMap> parameters(bool keep) {
    ComPtr<IStringObjectMap> params;
    EXPECT_EQ(controller->GetLaunchString(keep ? VARIANT_TRUE : VARIANT_FALSE, params.put()), S_OK);
    return params;
  }

  // A new sink or script function that records its calls.
  static ComPtr<ComObject<RecordingDispatch>> recorder(const IID& outgoing = IID_NULL) {
    ComPtr<ComObject<RecordingDispatch>> object;
    EXPECT_EQ(ComObject<RecordingDispatch>::create(object, outgoing), S_OK);
    return object;
  }

  void setHandler(IDispatch* handler) {
    EXPECT_EQ(controller->put_onLaunchString(Variant(handler)), S_OK);
  }

  DWORD advise(IUnknown* sink) {
    ComPtr<IConnectionPointContainer> container;
    EXPECT_EQ(controller->QueryInterface(IID_IConnectionPointContainer, container.putVoid()), S_OK);
    EXPECT_EQ(container->FindConnectionPoint(DIID__IFrameworkControllerEvents, point.put()), S_OK);
    DWORD cookie = 0;
    EXPECT_EQ(point->Advise(sink, &cookie), S_OK);
    return cookie;
  }

  std::vector<LogCapture::Record> records() const { return capture.records("controller"); }

  std::vector<std::string> lines(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const LogCapture::Record& record : records()) {
      if (record.message.starts_with(prefix)) out.push_back(record.message);
    }
    return out;
  }

  EnvironmentOverride logLevel{L"MIRDEX_LOG_LEVEL", L"debug"};
  ComApartment apartment;
  static inline std::unique_ptr<FrameworkTypeLibrary> typeLibrary;
  ClassObjectRegistration collections;
  CreatedKeys createdUserKey{HKEY_CURRENT_USER, kUserKey};
  RegKey userKey;
  LogCapture capture;
  ComPtr<IConnectionPoint> point;
  CFrameworkController::Ptr controller;

private:
  bool m_started = false;
};

TEST_F(LaunchStringTest, ParametersHoldExactlyAgeUrlQueryPathAndScheme) {
  struct Case {
    const wchar_t* url;
    const wchar_t* scheme;
    const wchar_t* path;
    const wchar_t* query;
  };
  const Case cases[] = {
      {L"mirdex://open/chat?id=42&name=J%C3%BCrgen#top", L"mirdex", L"//open/chat", L"id=42;name=J\u00FCrgen"},
      {L"x:?a=1&a=2&a=3", L"x", L"", L"a=[1,2,3]"},
      {L"s:p?a=1&b&&=&c=%41", L"s", L"p", L"a=1;b=;c=A"},
      {L"s:p?x=%u4E2D&y=%zz&z=a+b", L"s", L"p", L"x=\u4E2D;y=%zz;z=a+b"},
      // Names are case-sensitive; a repeated one keeps its order.
      {L"s:p?a=1&A=2&a=3", L"s", L"p", L"A=2;a=[1,3]"},
      {L"s:p?%61=1&a=2", L"s", L"p", L"a=[1,2]"},
      {L"just/a/path", L"", L"just/a/path", L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(narrow(c.url));
    setLaunchString(c.url);
    const ComPtr<IStringObjectMap> params = parameters(true);
    ASSERT_TRUE(params);
    const std::map<std::wstring, Variant> entries = mapEntries(params.get());
    std::vector<std::wstring> keys;
    for (const auto& [key, value] : entries) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::wstring>{L"URL", L"age", L"path", L"query", L"scheme"}));
    EXPECT_EQ(entries.at(L"age").type(), VT_UI4);
    // The URL as received, fragment and all.
    EXPECT_EQ(parameterText(entries.at(L"URL")), c.url);
    EXPECT_EQ(parameterText(entries.at(L"scheme")), c.scheme);
    EXPECT_EQ(parameterText(entries.at(L"path")), c.path);
    EXPECT_EQ(queryText(entries.at(L"query"), L"(no map)"), c.query);
  }

  // Late-bound, as a page reads them.
  setLaunchString(L"mirdex://open/chat?id=42");
  Variant result;
  ASSERT_EQ(DispatchCall::invokeByName(controller.get(), L"GetLaunchString", DISPATCH_METHOD, {Variant(true)},
                                       result.put()),
            S_OK);
  ASSERT_EQ(result.type(), VT_DISPATCH);
  Variant path;
  ASSERT_EQ(DispatchCall::invokeByName(V_DISPATCH(&result), L"Get", DISPATCH_METHOD, {Variant(L"path")},
                                       path.put()),
            S_OK);
  EXPECT_EQ(parameterText(path), L"//open/chat");
}

TEST_F(LaunchStringTest, KeptForTenMinutesUnlessConsumed) {
  controller->setTickSource(&testTick);
  const auto ageOf = [](IStringObjectMap* params) {
    Variant age;
    params->Get(Bstr(L"age").get(), age.put());
    return age.type() == VT_UI4 ? static_cast<long long>(V_UI4(&age)) : -1LL;
  };

  g_tick = 1000;
  setLaunchString(L"mirdex://a");
  g_tick = 1500;
  ComPtr<IStringObjectMap> first = parameters(true);
  ASSERT_TRUE(first);
  EXPECT_EQ(ageOf(first.get()), 500);
  g_tick = 2000;
  ComPtr<IStringObjectMap> second = parameters(true);
  ASSERT_TRUE(second);
  EXPECT_EQ(ageOf(second.get()), 1000);
  EXPECT_NE(first.get(), second.get());  // a new object each time

  // Consumed: handed out once more, then gone.
  ComPtr<IStringObjectMap> last = parameters(false);
  ASSERT_TRUE(last);
  EXPECT_EQ(ageOf(last.get()), 1000);
  EXPECT_FALSE(parameters(true));
  EXPECT_FALSE(parameters(false));

  // The age is an unsigned difference, so it survives the tick count
  // wrapping around.
  g_tick = 0xFFFFFF00;
  setLaunchString(L"mirdex://b");
  g_tick = 0x100;
  ComPtr<IStringObjectMap> wrapped = parameters(true);
  ASSERT_TRUE(wrapped);
  EXPECT_EQ(ageOf(wrapped.get()), 0x200);

  // Ten minutes exactly still count; one millisecond more empties it.
  g_tick = 5000;
  setLaunchString(L"mirdex://c");
  g_tick = 5000 + CFrameworkController::kLaunchStringLifetime;
  ComPtr<IStringObjectMap> edge = parameters(true);
  ASSERT_TRUE(edge);
  EXPECT_EQ(ageOf(edge.get()), 600000);
  g_tick += 1;
  EXPECT_FALSE(parameters(true));
  g_tick = 5010;
  EXPECT_FALSE(parameters(true));

  EXPECT_EQ(controller->GetLaunchString(VARIANT_TRUE, nullptr), E_POINTER);
}

TEST_F(LaunchStringTest, AnnouncesEachStringToEverySinkThenTheHandler) {
  const auto sinkA = recorder(DIID__IFrameworkControllerEvents);
  const auto sinkB = recorder(DIID__IFrameworkControllerEvents);
  const auto handler = recorder();
  const DWORD cookieA = advise(static_cast<IDispatch*>(sinkA.get()));
  advise(static_cast<IDispatch*>(sinkB.get()));
  setHandler(handler.get());

  // Nothing to announce: no string, or an empty one.
  setLaunchString(nullptr);
  setLaunchString(L"");
  EXPECT_TRUE(sinkA->calls().empty());
  EXPECT_TRUE(handler->calls().empty());
  EXPECT_FALSE(parameters(true));

  ASSERT_EQ(DispatchCall::invokeByName(controller.get(), L"SetLaunchString", DISPATCH_METHOD,
                                       {Variant(L"mirdex://open")}),
            S_OK);
  const struct {
    ComObject<RecordingDispatch>* target;
    DISPID id;
  } expected[] = {{sinkA.get(), 1}, {sinkB.get(), 1}, {handler.get(), DISPID_VALUE}};
  for (const auto& [target, id] : expected) {
    const std::vector<RecordingDispatch::Call> calls = target->calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].id, id);
    EXPECT_EQ(calls[0].flags, DISPATCH_METHOD);
    ASSERT_EQ(calls[0].args.size(), 1u);
    // The argument is the controller itself.
    ASSERT_EQ(calls[0].args[0].type(), VT_DISPATCH);
    EXPECT_TRUE(sameComObject(V_DISPATCH(&calls[0].args[0]), static_cast<IFrameworkController*>(controller.get())));
  }

  // A null string clears what is held and announces nothing.
  setLaunchString(nullptr);
  EXPECT_FALSE(parameters(true));
  EXPECT_EQ(handler->calls().size(), 1u);

  // A disconnected sink hears no more; the handler cleared, neither does it.
  ASSERT_EQ(point->Unadvise(cookieA), S_OK);
  setLaunchString(L"mirdex://again");
  EXPECT_EQ(sinkA->calls().size(), 1u);
  EXPECT_EQ(sinkB->calls().size(), 2u);
  EXPECT_EQ(handler->calls().size(), 2u);
  EXPECT_EQ(controller->put_onLaunchString(Variant()), S_OK);
  setLaunchString(L"mirdex://once-more");
  EXPECT_EQ(sinkB->calls().size(), 3u);
  EXPECT_EQ(handler->calls().size(), 2u);
}

TEST_F(LaunchStringTest, DumpsWhatItReceivedAtDebugLevel) {
  const std::string prefix = "CFrameworkController::SetLaunchString:";
  setLaunchString(L"mirdex://open/chat?id=42&tag=a&tag=b&flag#top");
  std::vector<LogCapture::Record> logged;
  for (const LogCapture::Record& record : records()) {
    if (record.message.starts_with(prefix)) logged.push_back(record);
  }
  ASSERT_EQ(logged.size(), 9u);
  EXPECT_EQ(logged[0].message, prefix + " mirdex://open/chat?id=42&tag=a&tag=b&flag#top");
  EXPECT_EQ(logged[0].level, Logger::kInfo);
  EXPECT_EQ(logged[1].message, prefix + " begin dump");
  EXPECT_EQ(logged[2].message, prefix + "   scheme: [mirdex]");
  EXPECT_EQ(logged[3].message, prefix + "     path: [//open/chat]");
  EXPECT_EQ(logged[8].message, prefix + " end dump");
  for (size_t i = 1; i < logged.size(); ++i) EXPECT_EQ(logged[i].level, Logger::kDebug) << logged[i].message;
  // The query names come in the map's own order; the values of a repeated
  // name in theirs.
  std::vector<std::string> query;
  for (size_t i = 4; i < 8; ++i) query.push_back(logged[i].message);
  const std::string tagA = prefix + "   *query: [tag = a]";
  const auto a = std::ranges::find(query, tagA);
  ASSERT_NE(a, query.end());
  ASSERT_NE(a + 1, query.end());
  EXPECT_EQ(*(a + 1), prefix + "   *query: [tag = b]");
  std::ranges::sort(query);
  EXPECT_EQ(query, (std::vector<std::string>{prefix + "    query: [flag = ]", prefix + "    query: [id = 42]",
                                             tagA, prefix + "   *query: [tag = b]"}));
  // The dump takes nothing away.
  EXPECT_TRUE(parameters(true));

  // Above debug level there is no dump.
  EnvironmentOverride infoLevel{L"MIRDEX_LOG_LEVEL", L"info"};
  const size_t before = lines(prefix).size();
  setLaunchString(L"mirdex://quiet?x=1");
  EXPECT_EQ(lines(prefix).size(), before + 1);
}

// ---------------------------------------------------------------------------
// the monitor

// The controller started as the host starts it, its monitor watching the
// user's key, and a handler that records each announcement.
class LaunchMonitorTest : public LaunchStringTest {
protected:
  void SetUp() override {
    LaunchStringTest::SetUp();
    handler = recorder();
    setHandler(handler.get());
  }

  // Starts the controller and waits until the monitor's first round is
  // done.
  void startMonitor() {
    start();
    ASSERT_TRUE(waitForLines("LaunchStringThread::onThreadRun: wait for registry change", 1));
  }

  void write(const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
    ASSERT_EQ(::RegSetValueExW(userKey.get(), name, 0, type, static_cast<const BYTE*>(data), bytes), ERROR_SUCCESS);
  }
  void writeText(const std::wstring& text) {
    write(kValueName, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }

  bool valuePresent() const {
    return ::RegQueryValueExW(userKey.get(), kValueName, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  }

  // The URLs the controller received, in order.
  std::vector<std::string> received() const {
    std::vector<std::string> out;
    for (const std::string& line : lines("CFrameworkController::SetLaunchString: ")) {
      const std::string url = line.substr(std::string("CFrameworkController::SetLaunchString: ").size());
      if (url != "begin dump" && url != "end dump" && !url.starts_with(" ")) out.push_back(url);
    }
    return out;
  }

  // Serves this thread's messages until the monitor wrote its line a
  // count of times.
  bool waitForLines(const std::string& line, size_t count) {
    return MessagePump::until([&] { return std::ranges::count(lines(line), line) >= static_cast<long>(count); });
  }

  std::vector<std::string> monitorLines() const { return lines("LaunchStringThread::"); }

  ComPtr<ComObject<RecordingDispatch>> handler;
};

TEST_F(LaunchMonitorTest, DeliversAWrittenValueOnTheMainThreadAndDeletesIt) {
  startMonitor();
  const std::wstring url = L"mirdex://open/chat?id=42&name=J%C3%BCrgen#top";
  writeText(url);
  ASSERT_TRUE(MessagePump::until([&] { return !handler->calls().empty(); }));
  EXPECT_FALSE(valuePresent());
  ASSERT_TRUE(waitForLines("LaunchStringThread::onThreadRun: wait for registry change", 2));

  // Handed to the controller on the controller's own thread.
  EXPECT_EQ(handler->calls().front().thread, ::GetCurrentThreadId());
  for (const LogCapture::Record& record : records()) {
    if (record.message.starts_with("CFrameworkController::SetLaunchString:")) {
      EXPECT_EQ(record.threadId, ::GetCurrentThreadId());
    } else if (record.message.starts_with("LaunchStringThread::")) {
      EXPECT_NE(record.threadId, ::GetCurrentThreadId());
    }
  }
  EXPECT_EQ(received(), std::vector<std::string>{narrow(url)});
  const ComPtr<IStringObjectMap> params = parameters(true);
  ASSERT_TRUE(params);
  EXPECT_EQ(parameterText(mapEntries(params.get()).at(L"URL")), url);
  EXPECT_EQ(monitorLines(), (std::vector<std::string>{
                                "LaunchStringThread::onThreadRun: enter",
                                "LaunchStringThread::onThreadRun: registry changed",
                                "LaunchStringThread::onThreadRun: wait for registry change",
                                "LaunchStringThread::onThreadRun: registry changed",
                                "LaunchStringThread::onThreadRun: received: " + narrow(url),
                                "LaunchStringThread::onThreadRun: wait for registry change",
                            }));

  // Shut down: the monitor has let go of the controller when destroy
  // returns, so the last reference ends the controller there and then.
  // (The recorder keeps the arguments of its calls, the controller among
  // them: it goes first.)
  ASSERT_EQ(controller->put_onLaunchString(Variant()), S_OK);
  handler.reset();
  controller->destroy();
  controller.reset();
  EXPECT_EQ(lines("CFrameworkController::FinalRelease():").size(), 1u);
  EXPECT_TRUE(MessagePump::until([&] { return !lines("LaunchStringThread::onThreadRun: leave").empty(); }));
}

TEST_F(LaunchMonitorTest, TakesAValueWrittenBeforeItStarted) {
  writeText(L"mirdex://early");
  start();
  ASSERT_TRUE(MessagePump::until([&] { return !handler->calls().empty(); }));
  EXPECT_FALSE(valuePresent());
  ASSERT_TRUE(waitForLines("LaunchStringThread::onThreadRun: wait for registry change", 1));
  EXPECT_EQ(received(), std::vector<std::string>{"mirdex://early"});
  EXPECT_EQ(monitorLines(), (std::vector<std::string>{
                                "LaunchStringThread::onThreadRun: enter",
                                "LaunchStringThread::onThreadRun: registry changed",
                                "LaunchStringThread::onThreadRun: received: mirdex://early",
                                "LaunchStringThread::onThreadRun: wait for registry change",
                            }));
}

TEST_F(LaunchMonitorTest, TwoWritesBeforeItWakesDeliverOnlyTheLast) {
  startMonitor();
  // While this thread serves no calls, the monitor, having taken the first
  // value, waits in its delivery: the next two writes both land before it
  // looks again.
  writeText(L"mirdex://first");
  const ULONGLONG end = ::GetTickCount64() + MessagePump::kLongWait;
  while (valuePresent() && ::GetTickCount64() < end) ::Sleep(5);
  ASSERT_FALSE(valuePresent());
  writeText(L"mirdex://second");
  writeText(L"mirdex://third");

  ASSERT_TRUE(MessagePump::until([&] { return handler->calls().size() >= 2; }));
  ASSERT_TRUE(waitForLines("LaunchStringThread::onThreadRun: wait for registry change", 3));
  MessagePump::serve(200);
  EXPECT_EQ(received(), (std::vector<std::string>{"mirdex://first", "mirdex://third"}));
  EXPECT_EQ(handler->calls().size(), 2u);
  EXPECT_FALSE(valuePresent());
}

TEST_F(LaunchMonitorTest, DiscardsValuesItCannotRead) {
  startMonitor();
  const DWORD number = 7;
  const std::wstring tooLong(LaunchStringThread::kMaxLength + 1, L'x');
  struct Case {
    const char* what;
    DWORD type;
    const void* data;
    DWORD bytes;
    LONG status;  // ERROR_SUCCESS: nothing to report
  };
  const Case cases[] = {
      {"1000 characters", REG_SZ, tooLong.c_str(), static_cast<DWORD>((tooLong.size() + 1) * sizeof(wchar_t)),
       ERROR_MORE_DATA},
      {"1000 characters unterminated", REG_SZ, tooLong.c_str(), static_cast<DWORD>(tooLong.size() * sizeof(wchar_t)),
       ERROR_MORE_DATA},
      {"a number", REG_DWORD, &number, sizeof(number), ERROR_INVALID_DATA},
      {"bytes", REG_BINARY, &number, sizeof(number), ERROR_INVALID_DATA},
      {"an empty text", REG_SZ, L"", sizeof(wchar_t), ERROR_SUCCESS},
  };
  size_t rounds = 1;
  std::map<LONG, size_t> reported;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    write(kValueName, c.type, c.data, c.bytes);
    ASSERT_TRUE(waitForLines("LaunchStringThread::onThreadRun: wait for registry change", ++rounds));
    EXPECT_FALSE(valuePresent());
    if (c.status != ERROR_SUCCESS) ++reported[c.status];
    for (const auto& [status, count] : reported) {
      const std::string error = "LaunchStringThread::onThreadRun: " + StatusText(status).str();
      EXPECT_EQ(lines(error).size(), count) << error;
    }
  }
  for (const LogCapture::Record& record : records()) {
    if (record.message.starts_with("LaunchStringThread::onThreadRun: E")) {
      EXPECT_EQ(record.level, Logger::kError);
    }
  }
  MessagePump::serve(100);
  EXPECT_TRUE(handler->calls().empty());

  // The longest text taken.
  const std::wstring longest(LaunchStringThread::kMaxLength, L'y');
  writeText(longest);
  ASSERT_TRUE(MessagePump::until([&] { return !handler->calls().empty(); }));
  EXPECT_EQ(received(), std::vector<std::string>{narrow(longest)});
}

TEST_F(LaunchMonitorTest, OtherValuesOfTheKeyWakeItButDeliverNothing) {
  startMonitor();
  const DWORD window = 0x1234;
  write(L"LaunchTestOther", REG_DWORD, &window, sizeof(window));
  ASSERT_TRUE(waitForLines("LaunchStringThread::onThreadRun: registry changed", 2));
  ASSERT_TRUE(waitForLines("LaunchStringThread::onThreadRun: wait for registry change", 2));
  ::RegDeleteValueW(userKey.get(), L"LaunchTestOther");
  ASSERT_TRUE(waitForLines("LaunchStringThread::onThreadRun: wait for registry change", 3));
  MessagePump::serve(100);
  EXPECT_TRUE(handler->calls().empty());
  EXPECT_TRUE(lines("LaunchStringThread::onThreadRun: received").empty());
}

TEST_F(LaunchStringTest, AControllerHandedOverButNeverPickedUpIsReleased) {
  const auto references = [&] {
    controller->AddRef();
    return controller->Release();
  };
  const ULONG before = references();
  {
    LaunchStringThread monitor;
    ASSERT_EQ(monitor.setController(controller.get()), S_OK);
    EXPECT_GT(references(), before);  // the marshalled reference holds it
    monitor.releaseController();
    EXPECT_EQ(references(), before);

    // Handed over again and left: the monitor's end lets go of it.
    ASSERT_EQ(monitor.setController(controller.get()), S_OK);
    EXPECT_GT(references(), before);
  }
  EXPECT_EQ(references(), before);
}

}  // namespace
