// The logger service, read back through an appender of the logging library.
#include "CLogger.h"

#include "Bstr.h"
#include "ComApartment.h"
#include "ComObject.h"
#include "DispatchCall.h"
#include "EnvironmentOverride.h"
#include "LogCapture.h"
#include "Variant.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Every level on, whatever the registry of the machine says.
class LoggerTest : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(m_com.ok());
    ASSERT_EQ(ComObject<CLogger>::createInstance(IID_ILogger, m_root.putVoid()), S_OK);
  }

  // The messages of a category, with their levels.
  std::vector<std::pair<int, std::string>> logged(const std::string& category) const {
    std::vector<std::pair<int, std::string>> lines;
    for (const LogCapture::Record& record : m_capture.records(category)) {
      lines.emplace_back(record.level, record.message);
    }
    return lines;
  }

  ComPtr<ILogger> named(const wchar_t* name) {
    ComPtr<ILogger> logger;
    EXPECT_EQ(m_root->CreateLogger(Bstr(name).get(), logger.put()), S_OK);
    return logger;
  }

  using Lines = std::vector<std::pair<int, std::string>>;

  ComApartment m_com;
  EnvironmentOverride m_level{L"MIRDEX_LOG_LEVEL", L"1"};
  LogCapture m_capture;
  ComPtr<ILogger> m_root;
};

TEST_F(LoggerTest, PluginMembers) {
  Bstr text;
  ASSERT_EQ(m_root->get_PluginName(text.put()), S_OK);
  EXPECT_EQ(text, L"Logger,1.0");
  ASSERT_EQ(m_root->get_PluginDesc(text.put()), S_OK);
  EXPECT_EQ(text, L"Simple Logger");
  ASSERT_EQ(m_root->get_PluginTarget(text.put()), S_OK);
  EXPECT_EQ(text, L"FrameworkController,1.0");
  ASSERT_EQ(m_root->get_PluginBaseUrl(text.put()), S_OK);
  EXPECT_TRUE(text.view().ends_with(L".exe/_HTML_/"));
  ASSERT_EQ(m_root->get_Name(text.put()), S_OK);
  EXPECT_EQ(text, L"root");

  VARIANT_BOOL enabled;
  EXPECT_EQ(m_root->Enabled(1, nullptr), E_POINTER);
  EXPECT_EQ(m_root->CreateLogger(nullptr, nullptr), E_POINTER);
  EXPECT_EQ(m_root->get_prefix(nullptr), E_POINTER);
  EXPECT_EQ(m_root->get_Name(nullptr), E_POINTER);
  EXPECT_EQ(m_root->Enabled(1, &enabled), S_OK);
}

TEST_F(LoggerTest, TextIsNeverTakenAsAFormat) {
  const ComPtr<ILogger> logger = named(L"svc.logger.percent");
  ASSERT_EQ(logger->LogInfo(Bstr(L"100%").get()), S_OK);
  ASSERT_EQ(logger->LogError(Bstr(L"%s %n %d %%").get()), S_OK);
  ASSERT_EQ(logger->put_prefix(Bstr(L"%s:").get()), S_OK);
  ASSERT_EQ(logger->LogWarn(Bstr(L"50%").get()), S_OK);
  EXPECT_EQ(logged("svc.logger.percent"),
            (Lines{{2, "100%"}, {4, "%s %n %d %%"}, {3, "%s:50%"}}));
}

TEST_F(LoggerTest, PrefixGoesInFrontUntilCleared) {
  const ComPtr<ILogger> logger = named(L"svc.logger.prefix");
  ASSERT_EQ(logger->put_prefix(Bstr(L"[page] ").get()), S_OK);
  Bstr prefix;
  ASSERT_EQ(logger->get_prefix(prefix.put()), S_OK);
  EXPECT_EQ(prefix, L"[page] ");
  ASSERT_EQ(logger->LogWarn(Bstr(L"x").get()), S_OK);
  ASSERT_EQ(logger->put_prefix(nullptr), S_OK);
  ASSERT_EQ(logger->get_prefix(prefix.put()), S_OK);
  EXPECT_EQ(prefix, L"");
  ASSERT_EQ(logger->LogWarn(Bstr(L"x").get()), S_OK);
  ASSERT_EQ(logger->LogWarn(nullptr), S_OK);
  EXPECT_EQ(logged("svc.logger.prefix"), (Lines{{3, "[page] x"}, {3, "x"}, {3, ""}}));
}

TEST_F(LoggerTest, EachMemberLogsAtItsLevel) {
  const ComPtr<ILogger> logger = named(L"svc.logger.levels");
  const Bstr text(L"t");
  ASSERT_EQ(logger->LogDebug(text.get()), S_OK);
  ASSERT_EQ(logger->LogInfo(text.get()), S_OK);
  ASSERT_EQ(logger->LogWarn(text.get()), S_OK);
  ASSERT_EQ(logger->LogError(text.get()), S_OK);
  for (LONG level = 1; level <= 4; ++level) ASSERT_EQ(logger->Log(level, text.get()), S_OK);
  EXPECT_EQ(logged("svc.logger.levels"),
            (Lines{{1, "t"}, {2, "t"}, {3, "t"}, {4, "t"}, {1, "t"}, {2, "t"}, {3, "t"}, {4, "t"}}));
}

TEST_F(LoggerTest, LoggersOfOneCategoryKeepTheirOwnPrefixes) {
  const ComPtr<ILogger> first = named(L"svc.logger.same");
  const ComPtr<ILogger> second = named(L"svc.logger.same");
  ASSERT_NE(first, second);
  Bstr name;
  ASSERT_EQ(second->get_Name(name.put()), S_OK);
  EXPECT_EQ(name, L"svc.logger.same");
  ASSERT_EQ(first->put_prefix(Bstr(L"A:").get()), S_OK);
  ASSERT_EQ(second->put_prefix(Bstr(L"B:").get()), S_OK);
  ASSERT_EQ(first->LogInfo(Bstr(L"1").get()), S_OK);
  ASSERT_EQ(second->LogInfo(Bstr(L"2").get()), S_OK);
  EXPECT_EQ(logged("svc.logger.same"), (Lines{{2, "A:1"}, {2, "B:2"}}));
  EXPECT_TRUE(logged("root").empty());
}

TEST_F(LoggerTest, NullNameAndTheClassObjectWriteToTheRootLogger) {
  const ComPtr<ILogger> logger = named(nullptr);
  Bstr name;
  ASSERT_EQ(logger->get_Name(name.put()), S_OK);
  EXPECT_EQ(name, L"root");
  ASSERT_EQ(logger->put_prefix(Bstr(L"made: ").get()), S_OK);
  ASSERT_EQ(logger->LogInfo(Bstr(L"one").get()), S_OK);
  ASSERT_EQ(m_root->LogInfo(Bstr(L"two").get()), S_OK);
  EXPECT_EQ(logged("root"), (Lines{{2, "made: one"}, {2, "two"}}));
}

TEST_F(LoggerTest, EnabledFollowsTheLibrarysThreshold) {
  EnvironmentOverride warn(L"MIRDEX_LOG_LEVEL", L"3");
  const ComPtr<ILogger> logger = named(L"svc.logger.enabled");
  VARIANT_BOOL enabled = VARIANT_TRUE;
  ASSERT_EQ(logger->Enabled(2, &enabled), S_OK);
  EXPECT_EQ(enabled, VARIANT_FALSE);
  ASSERT_EQ(logger->Enabled(3, &enabled), S_OK);
  EXPECT_EQ(enabled, VARIANT_TRUE);
  ASSERT_EQ(logger->Enabled(4, &enabled), S_OK);
  EXPECT_EQ(enabled, VARIANT_TRUE);
  ASSERT_EQ(logger->LogInfo(Bstr(L"hidden").get()), S_OK);
  ASSERT_EQ(logger->LogWarn(Bstr(L"shown").get()), S_OK);
  EXPECT_EQ(logged("svc.logger.enabled"), (Lines{{3, "shown"}}));
}

// Pages call the service late-bound, through the program's type library.
TEST_F(LoggerTest, DispatchCallsReachTheMembers) {
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(m_root.As(IID_IDispatch, dispatch), S_OK);
  Variant made;
  ASSERT_EQ(DispatchCall::invokeByName(dispatch.get(), L"CreateLogger", DISPATCH_METHOD,
                                       {Variant(L"svc.logger.dispatch")}, made.put()),
            S_OK);
  ComPtr<IDispatch> logger;
  ASSERT_EQ(made.asDispatch(logger), S_OK);
  ASSERT_EQ(DispatchCall::invokeByName(logger.get(), L"prefix", DISPATCH_PROPERTYPUT,
                                       {Variant(L"p ")}),
            S_OK);
  ASSERT_EQ(DispatchCall::invokeByName(logger.get(), L"Log", DISPATCH_METHOD,
                                       {Variant(3L), Variant(L"via dispatch")}),
            S_OK);
  EXPECT_EQ(logged("svc.logger.dispatch"), (Lines{{3, "p via dispatch"}}));
}

}  // namespace
