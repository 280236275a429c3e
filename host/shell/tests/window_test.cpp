// The main window and its secondary windows as real windows: creation,
// styles, icon and published handle, size and region rules, the handled
// messages, and the end of a window and of its object.
#include "CBrowserHost.h"
#include "CFrameworkController.h"
#include "CFrameworkWindow.h"
#include "ComModule.h"
#include "EnvironmentOverride.h"
#include "LogCapture.h"
#include "Logger.h"
#include "RegisteredMessages.h"
#include "WindowTestSupport.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <shellapi.h>
#include <shlobj.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

DWORD handleValue(HWND window) {
  return static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(window));
}

std::wstring className(HWND window) {
  wchar_t name[128] = {};
  ::GetClassNameW(window, name, 128);
  return name;
}

// A drop of files as the shell hands it to a window: a DROPFILES header
// followed by the wide paths, each ending with a zero, and a final zero.
HDROP makeDrop(const std::vector<std::wstring>& paths) {
  size_t chars = 1;
  for (const std::wstring& path : paths) chars += path.size() + 1;
  const size_t bytes = sizeof(DROPFILES) + chars * sizeof(wchar_t);
  HGLOBAL memory = ::GlobalAlloc(GHND, bytes);
  if (!memory) return nullptr;
  auto* header = static_cast<DROPFILES*>(::GlobalLock(memory));
  header->pFiles = sizeof(DROPFILES);
  header->fWide = TRUE;
  auto* text = reinterpret_cast<wchar_t*>(reinterpret_cast<BYTE*>(header) + sizeof(DROPFILES));
  for (const std::wstring& path : paths) {
    std::memcpy(text, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
    text += path.size() + 1;
  }
  *text = L'\0';
  ::GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

}  // namespace

TEST_F(WindowTest, CreationMakesADisabledUntitledWindowWithTheStylesAndTheBigIcon) {
  CFrameworkWindow* window = create(nullptr);
  ASSERT_TRUE(window);
  const HWND hwnd = window->hwnd();
  EXPECT_TRUE(window->isMainWindow());
  EXPECT_EQ(static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_STYLE)),
            CFrameworkWindow::kStyle | WS_DISABLED);
  EXPECT_EQ(static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_EXSTYLE)) & CFrameworkWindow::kExStyle,
            CFrameworkWindow::kExStyle);
  EXPECT_FALSE(::IsWindowEnabled(hwnd));
  EXPECT_FALSE(::IsWindowVisible(hwnd)) << "the creator shows the window";
  EXPECT_EQ(windowText(hwnd), L"");

  const HICON expected = ::LoadIconW(ComModule::moduleHandle(), MAKEINTRESOURCEW(IDI_ONLINE));
  ASSERT_TRUE(expected);
  EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0)), expected);

  // The browser host covers the client area.
  const HWND host = window->hostWindow();
  ASSERT_TRUE(host);
  EXPECT_EQ(::GetParent(host), hwnd);
  EXPECT_TRUE(::GetWindowLongPtrW(host, GWL_STYLE) & WS_VISIBLE);
  RECT client, hostRect;
  ::GetClientRect(hwnd, &client);
  ::GetClientRect(host, &hostRect);
  EXPECT_EQ(hostRect.right, client.right);
  EXPECT_EQ(hostRect.bottom, client.bottom);

  // Outside programs find the main window by its published handle.
  DWORD published = 0;
  ASSERT_TRUE(readMainWindowValue(published));
  EXPECT_EQ(published, handleValue(hwnd));
  const RECT created = CFrameworkWindow::mainWindowRect();
  EXPECT_EQ(created.left, 200);
  EXPECT_EQ(created.top, 100);
}

TEST_F(WindowTest, TheBrowserControlIsCreatedActivatedAndAcceptsNavigation) {
  CFrameworkWindow* window = create(nullptr);
  ASSERT_TRUE(window);
  // Under Wine the control has no HTML engine, so nothing is rendered and
  // no document appears; what the host does around it is checked here.
  ASSERT_TRUE(window->browser());
  CBrowserHost* host = CBrowserHost::fromWindow(window->hostWindow());
  ASSERT_TRUE(host);
  EXPECT_TRUE(host->browserActive());
  EXPECT_TRUE(::GetWindow(window->hostWindow(), GW_CHILD)) << "the control's own window";
  ASSERT_TRUE(window->sink());
  EXPECT_TRUE(window->sink()->connected());
  EXPECT_EQ(window->Navigate(L"about:blank"), S_OK);
  EXPECT_EQ(window->Navigate(nullptr), E_INVALIDARG);
}

TEST_F(WindowTest, DestroyingTheMainWindowEndsTheLoopAndWithdrawsItsHandle) {
  CFrameworkController::Ptr controller;
  ASSERT_EQ(CFrameworkController::create(controller), S_OK);
  CFrameworkWindow* window = create(nullptr);
  ASSERT_TRUE(window);
  window->setController(controller.get());
  controller->setMainWindow(window);
  CFrameworkWindow::setKeyWindow(window);

  ::DestroyWindow(window->hwnd());

  EXPECT_EQ(controller->mainWindow(), nullptr);
  WPARAM code = 99;
  EXPECT_TRUE(pumpMessages(&code));
  EXPECT_EQ(code, 0u);
  DWORD published = 0;
  EXPECT_FALSE(readMainWindowValue(published));
  // The loop must not hand keys to a window object that is gone.
  EXPECT_EQ(CFrameworkWindow::keyWindow(), nullptr);
}

TEST_F(WindowTest, ClosingASecondaryWindowLeavesTheProgramAndTheMainWindowAlone) {
  CFrameworkWindow* main = create(nullptr);
  ASSERT_TRUE(main);
  CFrameworkWindow* second = create(main);
  ASSERT_TRUE(second);
  EXPECT_FALSE(second->isMainWindow());
  EXPECT_EQ(second->opener(), main);

  // The close comes through the default handling of a system command,
  // from inside the window's own handler, which must outlive it.
  const HWND closed = second->hwnd();
  ::EnableWindow(closed, TRUE);  // a disabled window ignores system commands
  ::SendMessageW(closed, WM_SYSCOMMAND, SC_CLOSE, 0);

  EXPECT_FALSE(::IsWindow(closed));
  EXPECT_FALSE(pumpMessages());
  DWORD published = 0;
  ASSERT_TRUE(readMainWindowValue(published));
  EXPECT_EQ(published, handleValue(main->hwnd()));
}

TEST_F(WindowTest, AWindowWhosePageNeverEnabledInputStillCloses) {
  CFrameworkWindow* main = create(nullptr);
  ASSERT_TRUE(main);
  CFrameworkWindow* second = create(main);
  ASSERT_TRUE(second);
  const HWND closed = second->hwnd();
  ASSERT_FALSE(::IsWindowEnabled(closed));
  // What a second start with the quit switch sends.
  ::SendMessageW(closed, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_FALSE(::IsWindow(closed));
  // Other system commands keep being refused while input is disabled.
  ::SendMessageW(main->hwnd(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_FALSE(::IsIconic(main->hwnd()));
}

TEST_F(WindowTest, WindowsOpenedByAClosedWindowAnswerToItsOpener) {
  CFrameworkWindow* main = create(nullptr);
  ASSERT_TRUE(main);
  CFrameworkWindow* middle = create(main);
  ASSERT_TRUE(middle);
  CFrameworkWindow* last = create(middle);
  ASSERT_TRUE(last);
  ::DestroyWindow(middle->hwnd());
  EXPECT_EQ(last->opener(), main);
}

TEST_F(WindowTest, AFailedCreationLeavesTheObjectWithItsCreator) {
  // The host child cannot be made: WM_CREATE fails and so does Create.
  CFrameworkWindow* probe = create(nullptr);
  ASSERT_TRUE(probe);
  const std::wstring hostClass = className(probe->hostWindow());
  ::DestroyWindow(probe->hwnd());
  pumpMessages();

  auto* window = new CFrameworkWindow(nullptr);
  {
    CreationBlocker blocker(hostClass.c_str());
    EXPECT_EQ(window->Create({200, 100, 500, 612}), nullptr);
    EXPECT_EQ(blocker.refused(), 1);
  }
  EXPECT_EQ(window->hwnd(), nullptr);
  // No quit for a main window that never was, and the object is still
  // there for its creator to delete.
  EXPECT_FALSE(pumpMessages());
  EXPECT_TRUE(window->isMainWindow());
  delete window;
}

TEST_F(WindowTest, DeletingTheObjectOfALiveWindowDestroysTheWindow) {
  CFrameworkWindow* main = create(nullptr);
  ASSERT_TRUE(main);
  auto* second = new CFrameworkWindow(main);
  const HWND hwnd = second->Create({200, 100, 500, 612});
  ASSERT_TRUE(hwnd);
  delete second;
  EXPECT_FALSE(::IsWindow(hwnd));
  EXPECT_FALSE(pumpMessages());
}

struct SizeCase {
  int width, height;
  int expectedWidth, expectedHeight;
};

class WindowSizeTest : public WindowTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(WindowSizeTest, ASizeBelowTheMinimumIsWidenedKeepingTheTopLeftCorner) {
  CFrameworkWindow* window = create(nullptr, {300, 200, 900, 900});
  ASSERT_TRUE(window);
  const SizeCase& c = GetParam();
  ::SetWindowPos(window->hwnd(), nullptr, 0, 0, c.width, c.height, SWP_NOMOVE | SWP_NOZORDER);
  const RECT rc = windowRect(window->hwnd());
  EXPECT_EQ(rc.left, 300);
  EXPECT_EQ(rc.top, 200);
  EXPECT_EQ(rc.right - rc.left, c.expectedWidth);
  EXPECT_EQ(rc.bottom - rc.top, c.expectedHeight);
  // The browser host follows the client area.
  RECT client, host;
  ::GetClientRect(window->hwnd(), &client);
  ::GetClientRect(window->hostWindow(), &host);
  EXPECT_EQ(host.right, client.right);
  EXPECT_EQ(host.bottom, client.bottom);
}

INSTANTIATE_TEST_SUITE_P(Sizes, WindowSizeTest,
                         ::testing::Values(SizeCase{100, 100, 242, 512},
                                           SizeCase{300, 200, 300, 512},
                                           SizeCase{200, 600, 242, 600},
                                           SizeCase{242, 512, 242, 512},
                                           SizeCase{400, 700, 400, 700}));

TEST_F(WindowTest, TheCreationRectangleIsWidenedToo) {
  CFrameworkWindow* window = create(nullptr, {10, 20, 150, 220});
  ASSERT_TRUE(window);
  // The first size message comes with creation on Windows and with the
  // first showing under Wine; either way the window is widened by then.
  ::ShowWindow(window->hwnd(), SW_SHOWNOACTIVATE);
  pumpMessages();
  const RECT rc = windowRect(window->hwnd());
  EXPECT_EQ(rc.left, 10);
  EXPECT_EQ(rc.right - rc.left, 242);
  EXPECT_EQ(rc.bottom - rc.top, 512);
}

TEST_F(WindowTest, AChangedMinimumAppliesOnTheNextResize) {
  CFrameworkWindow* window = create(nullptr);
  ASSERT_TRUE(window);
  // Above the system's own minimum tracking size of a sizable window.
  window->setMinimumSize(0, 0);
  ::SetWindowPos(window->hwnd(), nullptr, 0, 0, 160, 150, SWP_NOMOVE | SWP_NOZORDER);
  const RECT rc = windowRect(window->hwnd());
  EXPECT_EQ(rc.right - rc.left, 160);
  EXPECT_EQ(rc.bottom - rc.top, 150);
}

class WindowRegionTest : public WindowTest {
protected:
  // The window's region after a resize to 400 x 600 with the given type;
  // the region's type from GetWindowRgn.
  int regionAfterResize(CFrameworkWindow* window, int type, GdiRegion& region) {
    window->setWindowType(type);
    ::SetWindowPos(window->hwnd(), nullptr, 0, 0, 400, 600, SWP_NOMOVE | SWP_NOZORDER);
    region.reset(::CreateRectRgn(0, 0, 0, 0));
    return ::GetWindowRgn(window->hwnd(), region.get());
  }
};

TEST_F(WindowRegionTest, TypeThreeGivesARectangleOneLargerThanTheWindow) {
  CFrameworkWindow* window = create(nullptr);
  ASSERT_TRUE(window);
  GdiRegion region;
  EXPECT_EQ(regionAfterResize(window, 3, region), SIMPLEREGION);
  RECT box;
  ::GetRgnBox(region.get(), &box);
  EXPECT_EQ(box.left, 0);
  EXPECT_EQ(box.top, 0);
  EXPECT_EQ(box.right, 401);
  EXPECT_EQ(box.bottom, 601);
}

TEST_F(WindowRegionTest, TypeZeroRoundsTheCorners) {
  CFrameworkWindow* window = create(nullptr);
  ASSERT_TRUE(window);
  GdiRegion region;
  EXPECT_EQ(regionAfterResize(window, 0, region), COMPLEXREGION);
  // A rounded rectangle leaves out its right and bottom edges: asked for
  // one pixel more each way, it covers the window exactly.
  RECT box;
  ::GetRgnBox(region.get(), &box);
  EXPECT_EQ(box.left, 0);
  EXPECT_EQ(box.top, 0);
  EXPECT_EQ(box.right, 400);
  EXPECT_EQ(box.bottom, 600);
  EXPECT_FALSE(::PtInRegion(region.get(), 0, 0));
  EXPECT_FALSE(::PtInRegion(region.get(), 399, 599));
  EXPECT_TRUE(::PtInRegion(region.get(), 3, 0));
  EXPECT_TRUE(::PtInRegion(region.get(), 200, 300));
}

TEST_F(WindowRegionTest, TypeOneTouchesNeitherRegionNorBrowser) {
  CFrameworkWindow* window = create(nullptr);
  ASSERT_TRUE(window);
  GdiRegion before;
  regionAfterResize(window, 3, before);
  RECT hostBefore;
  ::GetClientRect(window->hostWindow(), &hostBefore);

  window->setWindowType(1);
  ::SetWindowPos(window->hwnd(), nullptr, 0, 0, 500, 700, SWP_NOMOVE | SWP_NOZORDER);
  GdiRegion after(::CreateRectRgn(0, 0, 0, 0));
  ::GetWindowRgn(window->hwnd(), after.get());
  EXPECT_TRUE(::EqualRgn(before.get(), after.get()));
  RECT hostAfter;
  ::GetClientRect(window->hostWindow(), &hostAfter);
  EXPECT_EQ(hostAfter.right, hostBefore.right);
  EXPECT_EQ(hostAfter.bottom, hostBefore.bottom);
}

TEST_F(WindowRegionTest, TheRoundedCornerShowsWhatLiesBehindTheWindow) {
  // A magenta backdrop under the window: the corner pixel shows it only
  // when the region cuts the corner away.
  constexpr COLORREF kBackdrop = RGB(255, 0, 255);
  GdiBrush brush(::CreateSolidBrush(kBackdrop));
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = ::DefWindowProcW;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.hbrBackground = brush.get();
  wc.lpszClassName = L"WindowTestBackdrop";
  ::RegisterClassExW(&wc);
  const HWND backdrop =
      ::CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, nullptr, WS_POPUP | WS_VISIBLE, 50, 50,
                        600, 800, nullptr, nullptr, wc.hInstance, nullptr);
  ASSERT_TRUE(backdrop);
  ::UpdateWindow(backdrop);

  auto cornerPixel = [&](int type) {
    CFrameworkWindow* window = create(nullptr, {100, 100, 500, 700});
    window->setWindowType(type);
    // Shown before the region is set: Wine drops a region set on a window
    // that has never been mapped, which Windows keeps.
    ::ShowWindow(window->hwnd(), SW_SHOWNOACTIVATE);
    pumpMessages();
    ::SetWindowPos(window->hwnd(), HWND_TOP, 0, 0, 400, 600, SWP_NOMOVE | SWP_NOACTIVATE);
    ::RedrawWindow(window->hwnd(), nullptr, nullptr,
                   RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    for (int i = 0; i < 10; ++i) {
      pumpMessages();
      ::Sleep(20);
    }
    WindowDc screen(nullptr);
    const COLORREF corner = ::GetPixel(screen.get(), 100, 100);
    const COLORREF inside = ::GetPixel(screen.get(), 110, 110);
    ::DestroyWindow(window->hwnd());
    pumpMessages();
    return std::pair{corner, inside};
  };

  const auto [roundCorner, roundInside] = cornerPixel(0);
  const auto [squareCorner, squareInside] = cornerPixel(3);
  EXPECT_EQ(roundCorner, kBackdrop);
  EXPECT_NE(roundInside, kBackdrop);
  EXPECT_NE(squareCorner, kBackdrop);
  ::DestroyWindow(backdrop);
  ::UnregisterClassW(wc.lpszClassName, wc.hInstance);
}

TEST_F(WindowTest, HitTestingAnswersNoAreaEverywhere) {
  CFrameworkWindow* window = create(nullptr);
  ASSERT_TRUE(window);
  const RECT rc = windowRect(window->hwnd());
  const POINT points[] = {{rc.left + 1, rc.top + 1},
                          {rc.left + 100, rc.top + 10},
                          {rc.left + 100, rc.top + 200},
                          {rc.right - 2, rc.bottom - 2}};
  for (const POINT& p : points) {
    EXPECT_EQ(::SendMessageW(window->hwnd(), WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y)),
              CFrameworkWindow::kHitTestAnswer);
  }
}

TEST_F(WindowTest, TheFocusMakesTheWindowTheKeyWindow) {
  CFrameworkWindow* main = create(nullptr);
  ASSERT_TRUE(main);
  CFrameworkWindow* second = create(main);
  ASSERT_TRUE(second);
  CFrameworkWindow::setKeyWindow(main);
  EXPECT_EQ(::SendMessageW(second->hwnd(), WM_SETFOCUS, 0, 0), 1);
  EXPECT_EQ(CFrameworkWindow::keyWindow(), second);
  // When that window goes, the loop must not use it any more.
  ::DestroyWindow(second->hwnd());
  EXPECT_EQ(CFrameworkWindow::keyWindow(), nullptr);
}

TEST_F(WindowTest, DroppedFilesKeepTheFirstPathWhole) {
  EnvironmentOverride level(L"MIRDEX_LOG_LEVEL", L"debug");
  LogCapture capture;
  CFrameworkWindow* window = create(nullptr);
  ASSERT_TRUE(window);

  ::SendMessageW(window->hwnd(), WM_DROPFILES,
                 reinterpret_cast<WPARAM>(makeDrop({L"C:\\first\\one.txt", L"C:\\second.txt"})), 0);
  EXPECT_EQ(window->dropFilePath(), std::wstring_view(L"C:\\first\\one.txt"));

  // Longer than the classic path limit: kept whole, not cut.
  const std::wstring longPath = L"C:\\" + std::wstring(300, L'a') + L"\\b.txt";
  ::SendMessageW(window->hwnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(makeDrop({longPath})), 0);
  EXPECT_EQ(window->dropFilePath(), std::wstring_view(longPath));

  const auto records = capture.records("framework");
  int dropLines = 0;
  for (const auto& record : records) {
    if (record.message == "IN drop files.....................................................") {
      EXPECT_EQ(record.level, Logger::kDebug);
      ++dropLines;
    }
  }
  EXPECT_EQ(dropLines, 2);
}

TEST_F(WindowTest, TheEndOfTheSessionIsLeftToTheMainWindowsPage) {
  CFrameworkWindow* main = create(nullptr);
  ASSERT_TRUE(main);
  CFrameworkWindow* second = create(main);
  ASSERT_TRUE(second);
  EXPECT_EQ(::SendMessageW(main->hwnd(), WM_QUERYENDSESSION, 0, 0), 0);
  EXPECT_EQ(::SendMessageW(second->hwnd(), WM_QUERYENDSESSION, 0, 0), TRUE);
  EXPECT_TRUE(::IsWindow(main->hwnd()));
}

class ViewerTest : public WindowTest {
protected:
  static LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ACTIVATE) s_activations.push_back({window, wParam, lParam});
    return ::DefWindowProcW(window, message, wParam, lParam);
  }

  HWND child(HWND parent, const wchar_t* text) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &recordingProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"WindowTestViewer";
    ::RegisterClassExW(&wc);
    return ::CreateWindowExW(0, wc.lpszClassName, text, WS_CHILD, 0, 0, 10, 10, parent, nullptr,
                             wc.hInstance, nullptr);
  }

  struct Activation {
    HWND window;
    WPARAM wParam;
    LPARAM lParam;
  };
  static inline std::vector<Activation> s_activations;
};

TEST_F(ViewerTest, TheViewerIsFoundOnlyUnderTheDeskcastTitle) {
  CFrameworkWindow* window = create(nullptr);
  ASSERT_TRUE(window);
  child(window->hwnd(), L"VNCviewer ");
  const HWND viewer = child(window->hwnd(), L"VNCviewer");
  ASSERT_TRUE(viewer);

  ::SetWindowTextW(window->hwnd(), L"Mirdex Deskcast viewer ");
  EXPECT_EQ(::SendMessageW(window->hwnd(), RegisteredMessages::getViewerHwnd(), 0, 0), 0);
  EXPECT_EQ(window->viewerWindow(), nullptr);

  ::SetWindowTextW(window->hwnd(), L"Mirdex Deskcast viewer");
  EXPECT_EQ(::SendMessageW(window->hwnd(), RegisteredMessages::getViewerHwnd(), 0, 0), 0);
  EXPECT_EQ(window->viewerWindow(), viewer);

  // The viewer shares the window's activation.
  s_activations.clear();
  ::SendMessageW(window->hwnd(), WM_ACTIVATE, WA_CLICKACTIVE, 0x1234);
  ASSERT_EQ(s_activations.size(), 1u);
  EXPECT_EQ(s_activations[0].window, viewer);
  EXPECT_EQ(s_activations[0].wParam, static_cast<WPARAM>(WA_CLICKACTIVE));
  EXPECT_EQ(s_activations[0].lParam, 0x1234);

  // A viewer that is gone is not sent anything.
  ::DestroyWindow(viewer);
  s_activations.clear();
  ::SendMessageW(window->hwnd(), WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_TRUE(s_activations.empty());
}

TEST_F(WindowTest, RegisteredMessagesAreTheSystemWideOnes) {
  EXPECT_EQ(RegisteredMessages::appBar(), ::RegisterWindowMessageW(L"miRdexAPPBAR"));
  EXPECT_EQ(RegisteredMessages::restoreFromTray(),
            ::RegisterWindowMessageW(L"MirdexRestoreFromTray"));
  EXPECT_EQ(RegisteredMessages::getViewerHwnd(), ::RegisterWindowMessageW(L"MirdexGetViewerHwnd"));
  EXPECT_EQ(RegisteredMessages::taskbarCreated(), ::RegisterWindowMessageW(L"TaskbarCreated"));
  EXPECT_GE(RegisteredMessages::appBar(), 0xC000u);
}

TEST_F(WindowTest, AMoveByTheUserIsRememberedForTheMainWindowOnly) {
  CFrameworkWindow* main = create(nullptr, {200, 100, 500, 612});
  ASSERT_TRUE(main);
  CFrameworkWindow* second = create(main, {600, 100, 900, 612});
  ASSERT_TRUE(second);
  for (CFrameworkWindow* window : {main, second}) {
    ::EnableWindow(window->hwnd(), TRUE);
    ::ShowWindow(window->hwnd(), SW_SHOWNOACTIVATE);
  }
  pumpMessages();

  // A keyboard move: the system's move loop reads the keys queued for it
  // and ends with Enter. (Wine's loop leaves an unmanaged window where it
  // was, so only the rectangle taken afterwards is checked, not the move.)
  auto keyboardMove = [](HWND window) {
    ::PostMessageW(window, WM_KEYDOWN, VK_RIGHT, 0);
    ::PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
    return ::SendMessageW(window, WM_SYSCOMMAND, SC_MOVE, 0);
  };
  const RECT stale = {1, 2, 3, 4};
  CFrameworkWindow::setMainWindowRect(stale);
  EXPECT_EQ(keyboardMove(second->hwnd()), 0);
  RECT kept = CFrameworkWindow::mainWindowRect();
  EXPECT_TRUE(::EqualRect(&kept, &stale));

  EXPECT_EQ(keyboardMove(main->hwnd()), 0);
  const RECT moved = windowRect(main->hwnd());
  const RECT remembered = CFrameworkWindow::mainWindowRect();
  EXPECT_TRUE(::EqualRect(&remembered, &moved));
  pumpMessages();
}
