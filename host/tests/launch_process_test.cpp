// Launch strings between processes: a second start of Mirdex.exe with the
// switch launch hands its URL to the running host, whose monitor takes it
// from the registry and announces it. The running host is observed from
// inside by LaunchObserver.dll, a start-up plug-in registered for the test,
// which records every announcement with the parameters the controller
// hands out (see LaunchObserverSink.h).
#include "HostLog.h"
#include "HostProcess.h"
#include "LaunchObserverRecord.h"
#include "RegistryReader.h"
#include "RunningHost.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

#include <wtypes.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using Announcement = LaunchObserverRecord::Announcement;

class LaunchProcessTest : public testing::Test {
protected:
  static void SetUpTestSuite() {
    HostProcess registration(L"/RegServer");
    ASSERT_EQ(registration.wait(), 0u);
  }

  void SetUp() override { ASSERT_EQ(m_record.registration(), S_OK); }

  void TearDown() override {
    m_host.reset();
    ::SetEnvironmentVariableW(L"MIRDEX_LAUNCH_OBSERVER_HOLD", nullptr);
  }

  void startHost() {
    m_host = std::make_unique<RunningHost>();
    std::string why;
    ASSERT_TRUE(m_host->start(L"", why)) << why;
  }

  std::vector<Announcement> announcements() const { return m_record.announcements(); }
  bool waitForAnnouncements(size_t count) const { return m_record.waitFor(count); }

  static std::optional<std::wstring> launchString() {
    return RegistryReader::text(HKEY_CURRENT_USER, RunningHost::kUserKey, L"LaunchString");
  }

  static bool waitForLaunchString(const std::wstring& url) {
    const ULONGLONG end = ::GetTickCount64() + HostProcess::kLongWait;
    while (launchString() != url) {
      if (::GetTickCount64() > end) return false;
      ::Sleep(5);
    }
    return true;
  }

  LaunchObserverRecord m_record{MIRDEX_LAUNCH_OBSERVER_PATH};
  std::unique_ptr<RunningHost> m_host;
};

TEST_F(LaunchProcessTest, SecondStartHandsItsUrlToTheRunningHost) {
  const HostLog log;
  startHost();
  HostProcess second(L"launch \"mirdex://open/chat?id=42&name=J%C3%BCrgen#top\"");
  ASSERT_TRUE(second.started());
  EXPECT_EQ(second.wait(), 1u);  // handed over, not a host of its own

  ASSERT_TRUE(waitForAnnouncements(2));
  ::Sleep(500);
  const std::vector<Announcement> seen = announcements();
  ASSERT_EQ(seen.size(), 2u);
  // Once to the connected sink, then once to the script handler, on the
  // host's one thread, each time with the parsed parameters.
  EXPECT_EQ(seen[0].kind, "event");
  EXPECT_EQ(seen[1].kind, "handler");
  EXPECT_EQ(seen[0].thread, seen[1].thread);
  for (const Announcement& announcement : seen) {
    EXPECT_EQ(announcement.url, "mirdex://open/chat?id=42&name=J%C3%BCrgen#top");
    EXPECT_EQ(announcement.scheme, "mirdex");
    EXPECT_EQ(announcement.path, "//open/chat");
    EXPECT_EQ(announcement.query, "id=42;name=J\xC3\xBCrgen");
    EXPECT_EQ(announcement.ageType, std::to_string(VT_UI4));
  }
  EXPECT_FALSE(launchString());
  std::vector<std::string> lines;
  EXPECT_TRUE(log.waitFor(
      "LaunchStringThread::onThreadRun: received: mirdex://open/chat?id=42&name=J%C3%BCrgen#top", lines));

  // The host still ends as asked, its monitor with it.
  HostProcess::quitRunningInstance();
  EXPECT_NE(m_host->process().wait(), static_cast<DWORD>(STILL_ACTIVE));
  lines = log.newLines();
  EXPECT_TRUE(HostLog::contains(lines, "CFrameworkController::destroy: stop launch string monitor"));
  EXPECT_TRUE(HostLog::contains(lines, "LaunchStringThread::onThreadRun: leave"));
}

TEST_F(LaunchProcessTest, TwoLaunchesBeforeTheMonitorLooksAgainDeliverOnlyTheLast) {
  // The observer holds the host's thread in the first announcement, so the
  // monitor, still delivering, cannot look at the registry while the next
  // two starts write their URLs.
  const std::wstring holdName = L"MirdexLaunchObserverHold" + std::to_wstring(::GetCurrentProcessId());
  KernelHandle hold(::CreateEventW(nullptr, TRUE, FALSE, holdName.c_str()));
  ASSERT_TRUE(hold);
  ::SetEnvironmentVariableW(L"MIRDEX_LAUNCH_OBSERVER_HOLD", holdName.c_str());
  startHost();

  HostProcess first(L"launch mirdex://first");
  ASSERT_TRUE(waitForAnnouncements(1));
  HostProcess second(L"launch mirdex://second");
  ASSERT_TRUE(waitForLaunchString(L"mirdex://second"));
  HostProcess third(L"launch mirdex://third");
  ASSERT_TRUE(waitForLaunchString(L"mirdex://third"));
  ASSERT_TRUE(::SetEvent(hold.get()));

  ASSERT_TRUE(waitForAnnouncements(4));
  for (const HostProcess* start : {&first, &second, &third}) EXPECT_EQ(start->wait(), 1u);
  ::Sleep(500);
  std::vector<std::string> seen;
  for (const Announcement& announcement : announcements()) seen.push_back(announcement.kind + " " + announcement.url);
  EXPECT_EQ(seen, (std::vector<std::string>{"event mirdex://first", "handler mirdex://first", "event mirdex://third",
                                            "handler mirdex://third"}));
  EXPECT_FALSE(launchString());
}

}  // namespace
