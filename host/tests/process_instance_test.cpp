// Single instance, hand-off and shut-down of the real program: a first
// instance started by the test, second starts against it, the quit and
// wait switches, and the lines the start-up writes to the log.
#include "HostLog.h"
#include "HostProcess.h"
#include "OperatingSystemTests.h"
#include "RegistryReader.h"
#include "RunningHost.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const wchar_t* kUserKey = RunningHost::kUserKey;

std::optional<std::wstring> launchString() {
  return RegistryReader::text(HKEY_CURRENT_USER, kUserKey, L"LaunchString");
}

std::string narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out.push_back(static_cast<char>(c));  // ASCII texts only
  return out;
}

class FirstInstanceTest : public testing::Test {
protected:
  void SetUp() override {
    std::string why;
    ASSERT_TRUE(first.start(L"", why)) << why;
  }

  // Ends the first instance through a second start with quit; its exit code.
  DWORD quitFirst() {
    HostProcess quit(L"quit");
    EXPECT_EQ(quit.wait(), 1u);  // it found an instance
    return first.process().wait();
  }

  RunningHost first;
};

TEST_F(FirstInstanceTest, FirstStartCreatesHiddenMainWindowCentredOnTheDesktop) {
  const HWND window = first.mainWindow();
  EXPECT_FALSE(::IsWindowVisible(window));
  EXPECT_EQ(::GetParent(window), nullptr);

  RECT desktop{};
  ASSERT_TRUE(::GetWindowRect(::GetDesktopWindow(), &desktop));
  RECT rect{};
  ASSERT_TRUE(::GetWindowRect(window, &rect));
  // 490, 262, 790, 762 on the 1280 x 1024 test screen.
  const LONG insetX = (desktop.right - desktop.left - 300) / 2;
  const LONG insetY = (desktop.bottom - desktop.top - 500) / 2;
  EXPECT_EQ(rect.left, desktop.left + insetX);
  EXPECT_EQ(rect.top, desktop.top + insetY);
  EXPECT_EQ(rect.right, desktop.right - insetX);
  // The window may enforce a minimum height of its own.
  EXPECT_GE(rect.bottom, desktop.bottom - insetY);
}

TEST_F(FirstInstanceTest, LaunchStartStoresUrlForTheRunningInstanceAndExitsOne) {
  const std::wstring url = L"mirdex://open/chat?id=42&name=J%C3%BCrgen#top";
  const HostLog log;
  HostProcess second(L"/LAUNCH \"" + url + L"\"");
  EXPECT_EQ(second.wait(), 1u);
  // The URL travels through the registry: either it is still there, or the
  // running instance's launch-string monitor has already taken it.
  const auto stored = launchString();
  if (stored) {
    EXPECT_EQ(*stored, url);
  } else {
    std::vector<std::string> lines;
    EXPECT_TRUE(log.waitFor("LaunchStringThread::onThreadRun: received: " + narrow(url), lines));
  }
  // The second start was not another window of its own.
  EXPECT_EQ(RunningHost::publishedMainWindow(), first.mainWindow());

  EXPECT_EQ(quitFirst(), 0u);
  EXPECT_FALSE(launchString().has_value());  // the first instance removed it on its way out
}

TEST_F(FirstInstanceTest, QuitStartClosesTheRunningInstance) {
  EXPECT_EQ(quitFirst(), 0u);
  EXPECT_FALSE(::IsWindow(first.mainWindow()));
  EXPECT_FALSE(RegistryReader::valueExists(HKEY_CURRENT_USER, kUserKey, L"hMainWin"));
  EXPECT_TRUE(RunningHost::waitNoInstance(HostProcess::kLongWait));
}

TEST_F(FirstInstanceTest, PlainSecondStartBringsBackTheHiddenMainWindow) {
  // No visible window to find: the second start falls back to the
  // published handle, asks for a restore from the tray and restores it.
  HostProcess second(L"");
  EXPECT_EQ(second.wait(), 1u);
  EXPECT_TRUE(::IsWindowVisible(first.mainWindow()));
  EXPECT_TRUE(first.process().running());
}

TEST_F(FirstInstanceTest, RegistrationWhileRunningIsASecondStart) {
  const wchar_t* path = L"Mirdex.Content\\shell";
  RegistryReader::deleteValue(HKEY_CLASSES_ROOT, path, L"");
  HostProcess second(L"/RegServer");
  EXPECT_EQ(second.wait(), 1u);
  // Nothing was registered.
  EXPECT_FALSE(RegistryReader::text(HKEY_CLASSES_ROOT, path, L"").has_value());
  EXPECT_EQ(quitFirst(), 0u);
  HostProcess again(L"/RegServer");
  EXPECT_EQ(again.wait(), 0u);
}

TEST(QuitWithoutInstanceTest, EndsAtOnceWithoutAWindow) {
  ASSERT_TRUE(RunningHost::waitNoInstance(HostProcess::kLongWait));
  RegistryReader::deleteValue(HKEY_CURRENT_USER, kUserKey, L"hMainWin");
  HostProcess quit(L"-Quit");
  EXPECT_EQ(quit.wait(), 0u);
  EXPECT_FALSE(RegistryReader::valueExists(HKEY_CURRENT_USER, kUserKey, L"hMainWin"));
}

// A process that stays until the test lets it go: a suspended command
// interpreter.
class SuspendedProcess {
public:
  SuspendedProcess() {
    std::wstring line = L"cmd.exe /c exit";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                         nullptr, &startup, &info)) {
      m_process.reset(info.hProcess);
      m_thread.reset(info.hThread);
      m_id = info.dwProcessId;
    }
  }
  ~SuspendedProcess() {
    if (m_process) ::TerminateProcess(m_process.get(), 0);
  }
  DWORD id() const { return m_id; }
  void end() { ::TerminateProcess(m_process.get(), 0); }

private:
  KernelHandle m_process;
  KernelHandle m_thread;
  DWORD m_id = 0;
};

TEST(WaitSwitchTest, WaitsForTheNamedProcessBeforeAnythingElse) {
  ASSERT_TRUE(RunningHost::waitNoInstance(HostProcess::kLongWait));
  SuspendedProcess old;
  ASSERT_NE(old.id(), 0u);
  HostProcess waiting(L"wait " + std::to_wstring(old.id()) + L" quit");
  // Still waiting a while later (the wait lasts up to a minute).
  EXPECT_EQ(waiting.wait(2000), STILL_ACTIVE);
  old.end();
  EXPECT_EQ(waiting.wait(), 0u);
}

TEST(WaitSwitchTest, NoProcessIdMeansNoWait) {
  ASSERT_TRUE(RunningHost::waitNoInstance(HostProcess::kLongWait));
  for (const wchar_t* argument : {L"0", L"abc"}) {
    HostProcess quick(std::wstring(L"/wait ") + argument + L" quit");
    // Far below the minute a real wait could take.
    EXPECT_EQ(quick.wait(30000), 0u) << testing::PrintToString(std::wstring(argument));
  }
}


bool contains(const std::vector<std::string>& lines, const std::string& text) {
  return HostLog::contains(lines, text);
}

class StartUpLogTest : public testing::Test {
protected:
  void TearDown() override {
    RegistryReader::deleteValue(HKEY_LOCAL_MACHINE, kLanguageKey, L"Language");
  }
  static constexpr const wchar_t* kLanguageKey = L"SOFTWARE\\Mirdex\\Config\\User";
};

TEST_F(StartUpLogTest, StartUpWritesItsLines) {
  ASSERT_TRUE(RegistryReader::setText(HKEY_LOCAL_MACHINE, kLanguageKey, L"Language", L"ZH_TW"));
  ASSERT_TRUE(RegistryReader::setText(HKEY_CURRENT_USER, L"Software\\Mirdex\\browser\\Stale",
                                      L"left", L"over"));
  const HostLog log;
  RunningHost host;
  std::string why;
  ASSERT_TRUE(host.start(L"marker-" + std::to_wstring(::GetTickCount64()), why)) << why;

  char display[96];
  std::snprintf(display, sizeof(display), "CFrameworkModule: display window %X as 0",
                static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(host.mainWindow())));
  std::vector<std::string> lines;
  ASSERT_TRUE(log.waitFor(display, lines));

  OSVERSIONINFOW version;
  ASSERT_TRUE(OperatingSystemTests::readVersion(version));
  char osver[200];
  std::snprintf(osver, sizeof(osver), "CFrameworkModule: osver: %d.%d.%d %s (%d)",
                static_cast<int>(version.dwMajorVersion), static_cast<int>(version.dwMinorVersion),
                static_cast<int>(version.dwBuildNumber), narrow(version.szCSDVersion).c_str(),
                static_cast<int>(version.dwPlatformId));
  EXPECT_TRUE(contains(lines, osver)) << osver;

  const bool vista = version.dwMajorVersion >= 6;
  const auto lua = RegistryReader::number(
      HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System",
      L"EnableLUA");
  const bool uac = vista && lua && *lua != 0;
  const std::string tests = std::string("CFrameworkModule: vista(") + (vista ? "1" : "0") +
                            ") uac(" + (uac ? "1" : "0") + ") admin(" +
                            (::IsUserAnAdmin() ? "1" : "0") + ")";
  EXPECT_TRUE(contains(lines, tests)) << tests;

  EXPECT_TRUE(contains(lines, "CFrameworkModule: cmdline: " + narrow(host.process().commandLine())));
  EXPECT_TRUE(contains(lines, "CFrameworkModule: language: ZH_TW"));

  // Without a "UI" service the program's own page is the root page.
  const bool uiService =
      RegistryReader::valueExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Mirdex\\Services", L"UI") ||
      RegistryReader::valueExists(HKEY_CURRENT_USER, L"Software\\Mirdex\\Services", L"UI");
  if (!uiService) {
    EXPECT_TRUE(contains(lines, "CFrameworkModule: UI: res://" + narrow(HostProcess::programPath()) +
                                    "/_HTML_/"));
  } else {
    EXPECT_TRUE(contains(lines, "CFrameworkModule: UI: "));
  }

  // The browser settings were rewritten for this start.
  EXPECT_FALSE(RegistryReader::keyExists(HKEY_CURRENT_USER, L"Software\\Mirdex\\browser\\Stale"));
  EXPECT_EQ(RegistryReader::text(HKEY_CURRENT_USER, L"Software\\Mirdex\\browser\\Main",
                                 L"Enable Browser Extensions"),
            L"no");
  EXPECT_EQ(RegistryReader::number(
                HKEY_CURRENT_USER,
                L"Software\\Mirdex\\browser\\Main\\FeatureControl\\FEATURE_DISABLE_NAVIGATION_SOUNDS",
                L"iexplore.exe"),
            1u);
}

}  // namespace
