// Launch strings between processes: a second start of Mirdex.exe with the
// switch launch hands its URL to the running host, whose monitor takes it
// from the registry and announces it. The running host is observed from
// inside by LaunchObserver.dll, a start-up plug-in registered for the test,
// which records every announcement with the parameters the controller
// hands out (see LaunchObserverSink.h).
#include "EnvironmentOverride.h"
#include "HostLog.h"
#include "HostProcess.h"
#include "LaunchObserverRecord.h"
#include "RegisteredProgramTest.h"
#include "RegistryReader.h"
#include "RunningHost.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

#include <wtypes.h>

#include <memory>
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace {

using Announcement = LaunchObserverRecord::Announcement;

class LaunchProcessTest : public RegisteredProgramTest {
protected:
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

// The ids of the running Mirdex.exe processes.
std::vector<DWORD> hostProcessIds() { return TestProcess::idsNamed(L"Mirdex.exe"); }

DWORD windowProcess(HWND window) {
  DWORD owner = 0;
  if (window && ::IsWindow(window)) ::GetWindowThreadProcessId(window, &owner);
  return owner;
}

// The Mirdex.exe processes that appear after this object is made, whoever
// starts them. Those still running when it goes are ended, by the quit
// switch as a user would end them, then by force, so that a failing test
// leaves no host behind for the next one.
class LaterHosts {
public:
  LaterHosts() : m_before(hostProcessIds()) {}
  ~LaterHosts() {
    for (int attempt = 0; attempt < 3 && !running().empty(); ++attempt) {
      HostProcess::quitRunningInstance();
      ::Sleep(1000);
    }
    for (DWORD id : running()) {
      const KernelHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
      if (process && ::TerminateProcess(process.get(), 0xDEAD)) ::WaitForSingleObject(process.get(), 30000);
    }
  }
  LaterHosts(const LaterHosts&) = delete;
  LaterHosts& operator=(const LaterHosts&) = delete;

  // Those running now.
  std::vector<DWORD> running() const {
    std::vector<DWORD> ids = hostProcessIds();
    std::erase_if(ids, [this](DWORD id) { return std::find(m_before.begin(), m_before.end(), id) != m_before.end(); });
    return ids;
  }

private:
  std::vector<DWORD> m_before;
};

bool processRunning(const KernelHandle& process) {
  return process && ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

TEST_F(LaunchProcessTest, RestartStartsAProgramThatTakesOverOnceThisOneHasEnded) {
  // The observer stands in for the page: at the first announcement it asks
  // the controller to restart.
  const EnvironmentOverride restart(L"MIRDEX_LAUNCH_OBSERVER_RESTART", L"1");
  const EnvironmentOverride level(L"MIRDEX_LOG_LEVEL", L"debug");
  const LaterHosts later;
  const HostLog log;
  startHost();
  const DWORD oldId = m_host->process().id();
  const HWND oldWindow = m_host->mainWindow();

  HostProcess launch(L"launch mirdex://restart");
  EXPECT_EQ(launch.wait(), 1u);

  // The new process, started by the old one.
  std::vector<DWORD> others;
  const ULONGLONG end = ::GetTickCount64() + HostProcess::kLongWait;
  while (others.empty() && ::GetTickCount64() < end) {
    others = later.running();
    std::erase_if(others, [&](DWORD id) { return id == oldId || id == launch.id(); });
    if (others.empty()) ::Sleep(50);
  }
  ASSERT_EQ(others.size(), 1u);
  const DWORD successorId = others.front();
  const KernelHandle successor(::OpenProcess(SYNCHRONIZE, FALSE, successorId));
  ASSERT_TRUE(successor);

  std::vector<std::string> lines;
  ASSERT_TRUE(log.waitFor("CFrameworkController::Restart(): leave", lines));
  const std::string started = "CFrameworkController::Restart(): ";
  const std::string arguments = " -wait " + std::to_string(oldId);
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
    return line.find(started) != std::string::npos && line.ends_with(arguments);
  })) << "no line naming the program and " << arguments;

  // It waits while the old one runs: the old window stays the published one.
  ::Sleep(2000);
  EXPECT_TRUE(processRunning(successor));
  EXPECT_EQ(RunningHost::publishedMainWindow(), oldWindow);
  EXPECT_EQ(windowProcess(RunningHost::publishedMainWindow()), oldId);

  // Once the old one has ended, it becomes the running host.
  HostProcess::quitRunningInstance();
  ASSERT_NE(m_host->process().wait(), static_cast<DWORD>(STILL_ACTIVE));
  const ULONGLONG takeOver = ::GetTickCount64() + HostProcess::kLongWait;
  while (windowProcess(RunningHost::publishedMainWindow()) != successorId && ::GetTickCount64() < takeOver) {
    ::Sleep(50);
  }
  EXPECT_EQ(windowProcess(RunningHost::publishedMainWindow()), successorId);
  EXPECT_TRUE(RunningHost::instanceRunning());

  // And it ends as the running host does.
  EXPECT_EQ(HostProcess::quitRunningInstance(), 1u);
  EXPECT_EQ(::WaitForSingleObject(successor.get(), HostProcess::kLongWait), WAIT_OBJECT_0);
}

}  // namespace
