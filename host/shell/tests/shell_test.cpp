// The shell object as a page uses it, on real windows in a single-threaded
// apartment: most members are called late-bound by name, as a script calls
// its external object; a few through the interface where the page cannot
// express the case (a null out-parameter, a value of the wrong type).
#include "CBrowserHost.h"
#include "CFrameworkController.h"
#include "CFrameworkShell.h"
#include "CFrameworkWindow.h"
#include "ComApartment.h"
#include "ComObject.h"
#include "DispatchCall.h"
#include "EnvironmentOverride.h"
#include "HtmlWindowStub.h"
#include "RecordingDispatch.h"
#include "TestDirectory.h"
#include "UniqueHandle.h"
#include "WindowTestSupport.h"

#include <gtest/gtest.h>

#include <mshtmhst.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windowsx.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

// Records the messages a window receives, for as long as it lives, with
// the window's style and the mouse capture at that moment. The non-client
// button press is recorded and swallowed: it would start the system's move
// or size loop, which under Wine only a real mouse button can drive, so a
// test sees how a drag is started, not the drag.
class MessageRecorder {
public:
  struct Message {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LONG_PTR style;
    HWND capture;
  };

  explicit MessageRecorder(HWND window) : m_window(window) {
    ::SetPropW(window, kProperty, this);
    m_previous = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&proc)));
  }
  ~MessageRecorder() {
    if (!::IsWindow(m_window)) return;
    ::SetWindowLongPtrW(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previous));
    ::RemovePropW(m_window, kProperty);
  }
  MessageRecorder(const MessageRecorder&) = delete;
  MessageRecorder& operator=(const MessageRecorder&) = delete;

  std::vector<Message> of(UINT message) const {
    std::vector<Message> found;
    for (const Message& m : m_messages) {
      if (m.message == message) found.push_back(m);
    }
    return found;
  }
  void clear() { m_messages.clear(); }

private:
  static constexpr wchar_t kProperty[] = L"ShellTestMessageRecorder";

  static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<MessageRecorder*>(::GetPropW(window, kProperty));
    self->m_messages.push_back(
        {message, wParam, lParam, ::GetWindowLongPtrW(window, GWL_STYLE), ::GetCapture()});
    if (message == WM_NCLBUTTONDOWN) return 0;
    if (message == WM_NCDESTROY) {
      ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(self->m_previous));
      ::RemovePropW(window, kProperty);
    }
    return ::CallWindowProcW(self->m_previous, window, message, wParam, lParam);
  }

  HWND m_window;
  WNDPROC m_previous = nullptr;
  std::vector<Message> m_messages;
};

// Whether upper lies above lower in the Z order.
bool isAbove(HWND upper, HWND lower) {
  for (HWND w = ::GetWindow(upper, GW_HWNDNEXT); w; w = ::GetWindow(w, GW_HWNDNEXT)) {
    if (w == lower) return true;
  }
  return false;
}

bool isTopmost(HWND window) {
  return (::GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

RECT rectOf(HWND window) {
  RECT rc = {};
  ::GetWindowRect(window, &rc);
  return rc;
}

bool folderExists(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A drop of one file as the shell hands it to a window.
HDROP dropOf(const std::wstring& path) {
  const size_t bytes = sizeof(DROPFILES) + (path.size() + 2) * sizeof(wchar_t);
  HGLOBAL memory = ::GlobalAlloc(GHND, bytes);
  if (!memory) return nullptr;
  auto* header = static_cast<DROPFILES*>(::GlobalLock(memory));
  header->pFiles = sizeof(DROPFILES);
  header->fWide = TRUE;
  std::memcpy(reinterpret_cast<BYTE*>(header) + sizeof(DROPFILES), path.c_str(),
              (path.size() + 1) * sizeof(wchar_t));
  ::GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

}  // namespace

class ShellTest : public WindowTest {
protected:
  void SetUp() override {
    WindowTest::SetUp();
    m_window = create(nullptr, {200, 100, 600, 700});
    ASSERT_TRUE(m_window);
    m_hwnd = m_window->hwnd();
    ASSERT_EQ(pageObject(m_window).As(IID_IFrameworkShell, m_shell), S_OK);
  }

  // The shell as the window's page receives it: its external object.
  static ComPtr<IDispatch> pageObject(CFrameworkWindow* window) {
    ComPtr<IDispatch> external;
    CBrowserHost* host = CBrowserHost::fromWindow(window->hostWindow());
    ComPtr<IDocHostUIHandler> docHost;
    if (host && SUCCEEDED(static_cast<IOleClientSite*>(host)->QueryInterface(
                    IID_IDocHostUIHandler, docHost.putVoid()))) {
      docHost->GetExternal(external.put());
    }
    EXPECT_TRUE(external) << "no external object";
    return external;
  }

  IDispatch* page() const { return m_shell.get(); }
  HRESULT call(const wchar_t* name, std::initializer_list<Variant> args,
               VARIANT* result = nullptr) {
    return DispatchCall::invokeByName(page(), name, DISPATCH_METHOD, args, result);
  }
  HRESULT get(const wchar_t* name, Variant& value) {
    return DispatchCall::invokeByName(page(), name, DISPATCH_PROPERTYGET, {}, value.put());
  }
  HRESULT put(const wchar_t* name, const Variant& value) {
    return DispatchCall::invokeByName(page(), name, DISPATCH_PROPERTYPUT, {value});
  }
  long getLong(const wchar_t* name) {
    Variant value;
    EXPECT_EQ(get(name, value), S_OK) << name;
    long number = -1;
    EXPECT_EQ(value.asLong(number), S_OK) << name;
    return number;
  }
  std::wstring getText(const wchar_t* name) {
    Variant value;
    EXPECT_EQ(get(name, value), S_OK) << name;
    EXPECT_EQ(value.type(), VT_BSTR) << name;
    return value.type() == VT_BSTR ? std::wstring(V_BSTR(&value), ::SysStringLen(V_BSTR(&value)))
                                   : std::wstring();
  }

  CFrameworkShell* shell() const { return m_window->shell(); }

  // A page that is ready for input, as pages make their windows.
  void enableAndShow(HWND window) {
    ::EnableWindow(window, TRUE);
    ::ShowWindow(window, SW_SHOWNOACTIVATE);
    pumpMessages();
  }

  CFrameworkWindow* m_window = nullptr;
  HWND m_hwnd = nullptr;
  ComPtr<IFrameworkShell> m_shell;
};

// ---------------------------------------------------------------------------
// Size and place

struct SizeRequest {
  int width, height;
  bool applied;  // with the window's minimum of 242 x 512
};

class SetWindowSizeTest : public ShellTest, public ::testing::WithParamInterface<SizeRequest> {};

TEST_P(SetWindowSizeTest, ASizeBelowTheMinimumIsRefusedAndOthersKeepTheTopLeftCorner) {
  const SizeRequest& r = GetParam();
  EXPECT_EQ(call(L"SetWindowSize", {Variant(r.width), Variant(r.height)}), S_OK);
  const RECT rc = rectOf(m_hwnd);
  EXPECT_EQ(rc.left, 200);
  EXPECT_EQ(rc.top, 100);
  EXPECT_EQ(rc.right - rc.left, r.applied ? r.width : 400);
  EXPECT_EQ(rc.bottom - rc.top, r.applied ? r.height : 600);
}

INSTANTIATE_TEST_SUITE_P(Requests, SetWindowSizeTest,
                         ::testing::Values(SizeRequest{100, 100, false},
                                           SizeRequest{241, 700, false},
                                           SizeRequest{500, 511, false},
                                           SizeRequest{242, 512, true},
                                           SizeRequest{450, 650, true}));

TEST_F(ShellTest, AMinimumOfZeroLetsTheSameSmallSizeThrough) {
  EXPECT_EQ(call(L"SetWindowSize", {Variant(100), Variant(100)}), S_OK);
  EXPECT_EQ(rectOf(m_hwnd).right - rectOf(m_hwnd).left, 400);
  EXPECT_EQ(call(L"SetMinimumWindowSize", {Variant(0), Variant(0)}), S_OK);
  EXPECT_EQ(m_window->minWidth(), 0);
  EXPECT_EQ(m_window->minHeight(), 0);
  EXPECT_EQ(call(L"SetWindowSize", {Variant(100), Variant(100)}), S_OK);
  const RECT rc = rectOf(m_hwnd);
  EXPECT_EQ(rc.left, 200);
  EXPECT_EQ(rc.top, 100);
  // The system itself keeps a sizable window at its minimum tracking size.
  EXPECT_EQ(rc.right - rc.left, std::max(100, ::GetSystemMetrics(SM_CXMINTRACK)));
  EXPECT_EQ(rc.bottom - rc.top, std::max(100, ::GetSystemMetrics(SM_CYMINTRACK)));
}

struct MoveRequest {
  const char* name;
  int left, top;
  bool moved;
  bool rightAligned;  // left beyond the screen: the window ends at its right edge
};

class MoveWindowToTest : public ShellTest, public ::testing::WithParamInterface<MoveRequest> {};

TEST_P(MoveWindowToTest, NegativeCoordinatesAreIgnoredAndFarRightIsClamped) {
  const MoveRequest& r = GetParam();
  EXPECT_EQ(call(L"MoveWindowTo", {Variant(r.left), Variant(r.top)}), S_OK);
  const int screenWidth = ::GetSystemMetrics(SM_CXSCREEN);
  const int expectedLeft = !r.moved ? 200 : r.rightAligned ? screenWidth - 400 : r.left;
  const int expectedTop = r.moved ? r.top : 100;
  EXPECT_EQ(getLong(L"WindowPosX"), expectedLeft);
  EXPECT_EQ(getLong(L"WindowPosY"), expectedTop);
  const RECT rc = rectOf(m_hwnd);
  EXPECT_EQ(rc.left, expectedLeft);
  EXPECT_EQ(rc.top, expectedTop);
  EXPECT_EQ(rc.right - rc.left, 400);
  EXPECT_EQ(rc.bottom - rc.top, 600);
}

INSTANTIATE_TEST_SUITE_P(Requests, MoveWindowToTest,
                         ::testing::Values(MoveRequest{"NegativeLeft", -5, 50, false, false},
                                           MoveRequest{"NegativeTop", 50, -5, false, false},
                                           MoveRequest{"Origin", 0, 0, true, false},
                                           MoveRequest{"Inside", 300, 60, true, false},
                                           MoveRequest{"FarRight", 5000, 40, true, true}),
                         [](const ::testing::TestParamInfo<MoveRequest>& info) {
                           return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------
// Frame and state

TEST_F(ShellTest, WindowStylesChangeWithoutRecalculatingTheFrame) {
  MessageRecorder recorder(m_hwnd);
  const RECT before = rectOf(m_hwnd);
  const LONG_PTR start = ::GetWindowLongPtrW(m_hwnd, GWL_STYLE);
  ASSERT_EQ(static_cast<DWORD>(start), CFrameworkWindow::kStyle | WS_DISABLED);

  struct Step {
    int style;
    DWORD expected;
  };
  // 1 strips caption, system menu, sizing frame and maximise box; 0 then
  // adds frame and maximise box back and takes the minimise box away.
  const Step steps[] = {
      {1, 0x06020000 | WS_DISABLED}, {2, 0x06020000 | WS_DISABLED},
      {-1, 0x06020000 | WS_DISABLED}, {0, 0x06050000 | WS_DISABLED},
      {0, 0x06050000 | WS_DISABLED},
  };
  for (const Step& step : steps) {
    EXPECT_EQ(call(L"SetWindowStyle", {Variant(step.style)}), S_OK);
    EXPECT_EQ(static_cast<DWORD>(::GetWindowLongPtrW(m_hwnd, GWL_STYLE)), step.expected)
        << "style " << step.style;
  }
  EXPECT_TRUE(recorder.of(WM_NCCALCSIZE).empty());
  EXPECT_TRUE(recorder.of(WM_WINDOWPOSCHANGING).empty());
  const RECT after = rectOf(m_hwnd);
  EXPECT_TRUE(::EqualRect(&before, &after));
}

TEST_F(ShellTest, InputDropsVisibilityAndTopmostFollowThePage) {
  // Windows start disabled until the page enables input.
  EXPECT_FALSE(::IsWindowEnabled(m_hwnd));
  EXPECT_EQ(call(L"EnableInput", {Variant(true)}), S_OK);
  EXPECT_TRUE(::IsWindowEnabled(m_hwnd));
  EXPECT_EQ(call(L"EnableInput", {Variant(false)}), S_OK);
  EXPECT_FALSE(::IsWindowEnabled(m_hwnd));

  auto acceptsFiles = [&] {
    return (::GetWindowLongPtrW(m_hwnd, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0;
  };
  EXPECT_FALSE(acceptsFiles());
  EXPECT_EQ(call(L"enableDropFile", {Variant(true)}), S_OK);
  EXPECT_TRUE(acceptsFiles());
  EXPECT_EQ(call(L"enableDropFile", {Variant(false)}), S_OK);
  EXPECT_FALSE(acceptsFiles());
  // The other extended styles stay.
  EXPECT_EQ(static_cast<DWORD>(::GetWindowLongPtrW(m_hwnd, GWL_EXSTYLE)) &
                CFrameworkWindow::kExStyle,
            CFrameworkWindow::kExStyle);

  EXPECT_EQ(call(L"setWindowVisible", {Variant(true)}), S_OK);
  EXPECT_TRUE(::IsWindowVisible(m_hwnd));
  EXPECT_EQ(call(L"setWindowVisible", {Variant(false)}), S_OK);
  EXPECT_FALSE(::IsWindowVisible(m_hwnd));

  EXPECT_EQ(call(L"SetWindowAlwaysOnTop", {Variant(true)}), S_OK);
  EXPECT_TRUE(isTopmost(m_hwnd));
  EXPECT_EQ(call(L"SetWindowAlwaysOnTop", {Variant(false)}), S_OK);
  EXPECT_FALSE(isTopmost(m_hwnd));
}

TEST_F(ShellTest, HandleDropPathAndDockEdgeAreThoseOfTheWindow) {
  Variant handle;
  EXPECT_EQ(call(L"GetWindowHandle", {}, handle.put()), S_OK);
  long value = 0;
  ASSERT_EQ(handle.asLong(value), S_OK);
  EXPECT_EQ(reinterpret_cast<HWND>(static_cast<LONG_PTR>(value)), m_hwnd);

  Variant side;
  EXPECT_EQ(call(L"GetWindowAppBarSide", {}, side.put()), S_OK);
  long edge = -1;
  EXPECT_EQ(side.asLong(edge), S_OK);
  EXPECT_EQ(edge, 0);

  EXPECT_EQ(getText(L"dropFilePath"), L"");
  ::SendMessageW(m_hwnd, WM_DROPFILES, reinterpret_cast<WPARAM>(dropOf(L"C:\\in\\dropped.txt")), 0);
  EXPECT_EQ(getText(L"dropFilePath"), L"C:\\in\\dropped.txt");
  EXPECT_EQ(m_shell->get_dropFilePath(nullptr), E_POINTER);
}

// ---------------------------------------------------------------------------
// System commands

TEST_F(ShellTest, CommandsOutsideTheTableDoNothing) {
  enableAndShow(m_hwnd);
  MessageRecorder recorder(m_hwnd);
  const RECT before = rectOf(m_hwnd);
  const LONG_PTR style = ::GetWindowLongPtrW(m_hwnd, GWL_STYLE);
  for (const int cmd : {0, 17, -1, 1000}) {
    EXPECT_EQ(call(L"WindowSystemCommand", {Variant(cmd)}), S_OK) << cmd;
  }
  pumpMessages();
  EXPECT_TRUE(recorder.of(WM_SYSCOMMAND).empty());
  EXPECT_TRUE(recorder.of(WM_NCLBUTTONDOWN).empty());
  EXPECT_TRUE(recorder.of(WM_WINDOWPOSCHANGING).empty());
  EXPECT_EQ(::GetWindowLongPtrW(m_hwnd, GWL_STYLE), style);
  const RECT after = rectOf(m_hwnd);
  EXPECT_TRUE(::EqualRect(&before, &after));
  EXPECT_TRUE(::IsWindowVisible(m_hwnd));
}

TEST_F(ShellTest, CloseIsASystemCloseThatEndsTheWindowOnceThePageReturns) {
  CFrameworkWindow* second = create(m_window);
  ASSERT_TRUE(second);
  const HWND closing = second->hwnd();
  enableAndShow(closing);
  MessageRecorder recorder(closing);
  ComPtr<IDispatch> secondPage = pageObject(second);
  EXPECT_EQ(DispatchCall::invokeByName(secondPage.get(), L"WindowSystemCommand", DISPATCH_METHOD,
                                       {Variant(2)}),
            S_OK);
  // The page asking is still running in the browser that the close
  // destroys: the window goes once control is back in the message loop.
  EXPECT_TRUE(::IsWindow(closing));
  EXPECT_FALSE(pumpMessages()) << "closing a secondary window does not end the program";
  EXPECT_FALSE(::IsWindow(closing));
  EXPECT_TRUE(::IsWindow(m_hwnd));
  const auto commands = recorder.of(WM_SYSCOMMAND);
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].wParam, static_cast<WPARAM>(SC_CLOSE));
}

TEST_F(ShellTest, MinimiseAndMaximiseAreSystemCommands) {
  enableAndShow(m_hwnd);
  MessageRecorder recorder(m_hwnd);
  EXPECT_EQ(call(L"WindowSystemCommand", {Variant(3)}), S_OK);
  pumpMessages();
  EXPECT_TRUE(::IsIconic(m_hwnd));
  EXPECT_EQ(call(L"WindowSystemCommand", {Variant(9)}), S_OK);
  pumpMessages();
  EXPECT_TRUE(::IsZoomed(m_hwnd));

  const auto commands = recorder.of(WM_SYSCOMMAND);
  ASSERT_GE(commands.size(), 2u);
  EXPECT_EQ(commands[0].wParam, static_cast<WPARAM>(SC_MINIMIZE));
  EXPECT_EQ(commands[1].wParam, static_cast<WPARAM>(SC_MAXIMIZE));
}

TEST_F(ShellTest, ShowAndFrontShowsTheWindowInFrontWithoutLeavingItTopmost) {
  CFrameworkWindow* other = create(m_window, {250, 150, 650, 750});
  ASSERT_TRUE(other);
  enableAndShow(other->hwnd());
  ::SetWindowPos(other->hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ASSERT_FALSE(::IsWindowVisible(m_hwnd));

  EXPECT_EQ(call(L"WindowSystemCommand", {Variant(13)}), S_OK);
  pumpMessages();
  EXPECT_TRUE(::IsWindowVisible(m_hwnd));
  EXPECT_FALSE(::IsIconic(m_hwnd));
  EXPECT_TRUE(isAbove(m_hwnd, other->hwnd()));
  EXPECT_FALSE(isTopmost(m_hwnd));

  // From minimised too.
  ::ShowWindow(m_hwnd, SW_MINIMIZE);
  EXPECT_EQ(call(L"WindowSystemCommand", {Variant(13)}), S_OK);
  pumpMessages();
  EXPECT_FALSE(::IsIconic(m_hwnd));
}

struct DragCase {
  int cmd;
  WPARAM area;
  bool withoutSystemMenu;
};

class DragCommandTest : public ShellTest, public ::testing::WithParamInterface<DragCase> {};

TEST_P(DragCommandTest, ReleasesTheCaptureAndPressesTheButtonOnTheFrameArea) {
  const DragCase& c = GetParam();
  enableAndShow(m_hwnd);
  MessageRecorder recorder(m_hwnd);
  // The page's element holds the capture while its button is down.
  ::SetCapture(m_window->hostWindow());
  ASSERT_EQ(::GetCapture(), m_window->hostWindow());
  POINT cursor;
  ::GetCursorPos(&cursor);

  EXPECT_EQ(call(L"WindowSystemCommand", {Variant(c.cmd)}), S_OK);

  const auto presses = recorder.of(WM_NCLBUTTONDOWN);
  ASSERT_EQ(presses.size(), 1u);
  EXPECT_EQ(presses[0].wParam, c.area);
  EXPECT_EQ(presses[0].capture, nullptr) << "capture released first";
  EXPECT_EQ(GET_X_LPARAM(presses[0].lParam), cursor.x);
  EXPECT_EQ(GET_Y_LPARAM(presses[0].lParam), cursor.y);
  EXPECT_EQ((presses[0].style & WS_SYSMENU) == 0, c.withoutSystemMenu);
  // The system menu is back once the drag is over.
  EXPECT_TRUE(::GetWindowLongPtrW(m_hwnd, GWL_STYLE) & WS_SYSMENU);
}

INSTANTIATE_TEST_SUITE_P(Commands, DragCommandTest,
                         ::testing::Values(DragCase{1, HTCAPTION, false},
                                           DragCase{10, HTLEFT, false},
                                           DragCase{11, HTBOTTOMRIGHT, true},
                                           DragCase{12, HTRIGHT, false},
                                           DragCase{14, HTTOP, false},
                                           DragCase{15, HTBOTTOM, false},
                                           DragCase{16, HTBOTTOMLEFT, true}),
                         [](const ::testing::TestParamInfo<DragCase>& info) {
                           return "Command" + std::to_string(info.param.cmd);
                         });

TEST_F(ShellTest, ACornerDragLeavesAWindowWithoutSystemMenuWithoutOne) {
  enableAndShow(m_hwnd);
  EXPECT_EQ(call(L"SetWindowStyle", {Variant(1)}), S_OK);
  MessageRecorder recorder(m_hwnd);
  EXPECT_EQ(call(L"WindowSystemCommand", {Variant(16)}), S_OK);
  EXPECT_EQ(recorder.of(WM_NCLBUTTONDOWN).size(), 1u);
  EXPECT_FALSE(::GetWindowLongPtrW(m_hwnd, GWL_STYLE) & WS_SYSMENU);
}

// ---------------------------------------------------------------------------
// Parameters, objects and the controller

TEST_F(ShellTest, TheQueryStringOfAResUrlReachesThePage) {
  EXPECT_EQ(getText(L"QueryString"), L"") << "empty, not missing, when none";

  CBrowserHost* host = CBrowserHost::fromWindow(m_window->hostWindow());
  ASSERT_TRUE(host);
  ComPtr<IDocHostUIHandler> docHost;
  ASSERT_EQ(static_cast<IOleClientSite*>(host)->QueryInterface(IID_IDocHostUIHandler,
                                                               docHost.putVoid()),
            S_OK);
  std::wstring url = L"res://host.exe/_HTML_/page.html?a=b";
  LPWSTR translated = nullptr;
  ASSERT_EQ(docHost->TranslateUrl(0, url.data(), &translated), S_OK);
  ::CoTaskMemFree(translated);
  EXPECT_EQ(getText(L"QueryString"), L"a=b");

  EXPECT_EQ(put(L"QueryString", Variant(L"x=1&y=2")), S_OK);
  EXPECT_EQ(m_window->queryString(), std::wstring_view(L"x=1&y=2"));
  EXPECT_EQ(getText(L"QueryString"), L"x=1&y=2");
  EXPECT_EQ(m_shell->get_QueryString(nullptr), E_POINTER);
}

TEST_F(ShellTest, TheControllerIsTheOneAtTheStartOfTheOpenerChain) {
  CFrameworkController::Ptr controller;
  ASSERT_EQ(CFrameworkController::create(controller), S_OK);
  CFrameworkController::Ptr stranger;
  ASSERT_EQ(CFrameworkController::create(stranger), S_OK);
  m_window->setController(controller.get());
  CFrameworkWindow* second = create(m_window);
  ASSERT_TRUE(second);
  CFrameworkWindow* third = create(second);
  ASSERT_TRUE(third);
  // Whatever the later windows hold, the main window's controller counts.
  second->setController(stranger.get());
  third->setController(stranger.get());

  auto controllerOf = [](CFrameworkWindow* window) {
    Variant value;
    EXPECT_EQ(DispatchCall::invokeByName(pageObject(window).get(), L"Controller",
                                         DISPATCH_PROPERTYGET, {}, value.put()),
              S_OK);
    EXPECT_EQ(value.type(), VT_DISPATCH);
    return value.type() == VT_DISPATCH ? ComPtr<IUnknown>(V_DISPATCH(&value)) : nullptr;
  };
  const ComPtr<IUnknown> expected(static_cast<IFrameworkController*>(controller.get()));
  EXPECT_TRUE(sameComObject(controllerOf(m_window).get(), expected.get()));
  EXPECT_TRUE(sameComObject(controllerOf(third).get(), expected.get()));
  // The chain holds when a window in the middle closes.
  ::DestroyWindow(second->hwnd());
  EXPECT_TRUE(sameComObject(controllerOf(third).get(), expected.get()));

  EXPECT_EQ(m_shell->get_Controller(nullptr), S_OK);
  m_window->setController(nullptr);
  EXPECT_EQ(controllerOf(third), nullptr);
}

TEST_F(ShellTest, TheRecordedHtmlWindowIsTheMainWindowOfTheController) {
  CFrameworkController::Ptr controller;
  ASSERT_EQ(CFrameworkController::create(controller), S_OK);
  m_window->setController(controller.get());
  controller->setMainWindow(m_window);

  ComPtr<ComObject<HtmlWindowStub>> htmlWindow;
  ASSERT_EQ(ComObject<HtmlWindowStub>::create(htmlWindow), S_OK);
  EXPECT_EQ(put(L"HtmlWindow", Variant(static_cast<IDispatch*>(htmlWindow.get()))), S_OK);
  EXPECT_EQ(m_window->htmlWindow(), static_cast<IHTMLWindow2*>(htmlWindow.get()));
  Variant recorded;
  EXPECT_EQ(get(L"HtmlWindow", recorded), S_OK);
  ASSERT_EQ(recorded.type(), VT_DISPATCH);
  EXPECT_TRUE(sameComObject(V_DISPATCH(&recorded), htmlWindow.get()));
  ComPtr<IDispatch> mainWindow;
  EXPECT_EQ(controller->get_MainWindow(mainWindow.put()), S_OK);
  EXPECT_TRUE(sameComObject(mainWindow.get(), htmlWindow.get()));

  // An object that is no page window records none.
  ComPtr<ComObject<RecordingDispatch>> other;
  ASSERT_EQ(ComObject<RecordingDispatch>::create(other), S_OK);
  EXPECT_EQ(put(L"HtmlWindow", Variant(static_cast<IDispatch*>(other.get()))), S_OK);
  EXPECT_EQ(m_window->htmlWindow(), nullptr);
  EXPECT_EQ(m_shell->get_HtmlWindow(nullptr), E_POINTER);
  controller->setMainWindow(nullptr);
}

// ---------------------------------------------------------------------------
// Callbacks

TEST_F(ShellTest, WindowMovementReachesTheHandlerOnlyWhileTheWindowTypeIsZero) {
  ComPtr<ComObject<RecordingDispatch>> handler;
  ASSERT_EQ(ComObject<RecordingDispatch>::create(handler), S_OK);
  EXPECT_EQ(getLong(L"WindowType"), 0);

  ::testing::internal::CaptureStdout();
  EXPECT_EQ(call(L"UpdateWindowMovement", {Variant(3), Variant(-4)}), S_OK);
  EXPECT_EQ(put(L"WindowMovedProc", Variant(static_cast<IDispatch*>(handler.get()))), S_OK);
  EXPECT_EQ(put(L"WindowType", Variant(1)), S_OK);
  EXPECT_EQ(call(L"UpdateWindowMovement", {Variant(5), Variant(6)}), S_OK);
  EXPECT_EQ(put(L"WindowType", Variant(0)), S_OK);
  EXPECT_EQ(call(L"UpdateWindowMovement", {Variant(-7), Variant(8)}), S_OK);
  const std::string printed = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(printed,
            "window move proc is not available\n"
            "window moved proc is available\n");

  const auto calls = handler->calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].id, DISPID_VALUE);
  EXPECT_EQ(calls[0].flags, DISPATCH_METHOD);
  ASSERT_EQ(calls[0].args.size(), 2u);
  EXPECT_EQ(calls[0].args[0].type(), VT_I4);
  EXPECT_EQ(V_I4(&calls[0].args[0]), -7);
  EXPECT_EQ(V_I4(&calls[0].args[1]), 8);
}

TEST_F(ShellTest, TheWindowTypeIsTheWindowsRegionRule) {
  EXPECT_EQ(put(L"WindowType", Variant(3)), S_OK);
  EXPECT_EQ(getLong(L"WindowType"), 3);
  EXPECT_EQ(m_window->windowType(), 3);
  // The rule applies on the next resize: a rectangular region.
  ::SetWindowPos(m_hwnd, nullptr, 0, 0, 300, 550, SWP_NOMOVE | SWP_NOZORDER);
  GdiRegion region(::CreateRectRgn(0, 0, 0, 0));
  EXPECT_EQ(::GetWindowRgn(m_hwnd, region.get()), SIMPLEREGION);
}

struct CallbackSlot {
  const wchar_t* name;
  std::function<void(CFrameworkShell&)> fire;
  std::vector<std::pair<VARTYPE, long>> args;  // type and value of each, in script order
};

class CallbackSlotTest : public ShellTest, public ::testing::WithParamInterface<CallbackSlot> {
protected:
  ComPtr<ComObject<RecordingDispatch>> newHandler() {
    ComPtr<ComObject<RecordingDispatch>> handler;
    EXPECT_EQ(ComObject<RecordingDispatch>::create(handler), S_OK);
    return handler;
  }
  // What the slot holds, as the page reads it.
  ComPtr<IDispatch> stored() {
    Variant value;
    EXPECT_EQ(get(GetParam().name, value), S_OK);
    EXPECT_EQ(value.type(), VT_DISPATCH);
    return value.type() == VT_DISPATCH ? ComPtr<IDispatch>(V_DISPATCH(&value)) : nullptr;
  }
};

TEST_P(CallbackSlotTest, SetReadBackClearAndRefuseWhatIsNoFunction) {
  const wchar_t* name = GetParam().name;
  EXPECT_EQ(stored(), nullptr) << "empty at start";

  auto first = newHandler();
  EXPECT_EQ(put(name, Variant(static_cast<IDispatch*>(first.get()))), S_OK);
  EXPECT_TRUE(sameComObject(stored().get(), first.get()));

  auto second = newHandler();
  EXPECT_EQ(put(name, Variant(static_cast<IDispatch*>(second.get()))), S_OK);
  EXPECT_TRUE(sameComObject(stored().get(), second.get())) << "replaced";

  // A number is no function: refused, and the handler stays.
  DISPID id = 0;
  ASSERT_EQ(DispatchCall::idOfName(page(), name, id), S_OK);
  EXPECT_EQ(DispatchCall::invoke(page(), id, DISPATCH_PROPERTYPUT, {Variant(42)}), E_INVALIDARG);
  EXPECT_TRUE(sameComObject(stored().get(), second.get()));

  // Empty, null, and an object variant without an object all clear.
  std::vector<Variant> clearing(3);
  V_VT(&clearing[1]) = VT_NULL;
  clearing[2] = Variant(static_cast<IDispatch*>(nullptr));
  for (const Variant& value : clearing) {
    EXPECT_EQ(put(name, Variant(static_cast<IDispatch*>(first.get()))), S_OK);
    EXPECT_EQ(put(name, value), S_OK) << "type " << value.type();
    EXPECT_EQ(stored(), nullptr) << "type " << value.type();
  }
  // A cleared slot calls nothing.
  GetParam().fire(*shell());
  EXPECT_TRUE(first->calls().empty());
  EXPECT_TRUE(second->calls().empty());
}

TEST_P(CallbackSlotTest, FiringCallsTheHandlerOfThisSlotWithItsArguments) {
  auto handler = newHandler();
  EXPECT_EQ(put(GetParam().name, Variant(static_cast<IDispatch*>(handler.get()))), S_OK);
  GetParam().fire(*shell());
  const auto calls = handler->calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].id, DISPID_VALUE);
  EXPECT_EQ(calls[0].flags, DISPATCH_METHOD);
  ASSERT_EQ(calls[0].args.size(), GetParam().args.size());
  for (size_t i = 0; i < calls[0].args.size(); ++i) {
    EXPECT_EQ(calls[0].args[i].type(), GetParam().args[i].first) << "argument " << i;
    long value = -1;
    EXPECT_EQ(calls[0].args[i].asLong(value), S_OK);
    EXPECT_EQ(value, GetParam().args[i].second) << "argument " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Slots, CallbackSlotTest,
    ::testing::Values(
        CallbackSlot{L"WindowMovedProc",
                     [](CFrameworkShell& s) { s.UpdateWindowMovement(12, -34); },
                     {{VT_I4, 12}, {VT_I4, -34}}},
        CallbackSlot{L"OnDockStateChange",
                     [](CFrameworkShell& s) { s.fireOnDockStateChange(4, true); },
                     {{VT_UI4, 4}, {VT_I2, 1}}},
        CallbackSlot{L"OnFullScreenApp", [](CFrameworkShell& s) { s.fireOnFullScreenApp(); },
                     {{VT_I2, 1}}},
        CallbackSlot{L"onExitNow", [](CFrameworkShell& s) { s.fireOnExitNow(); }, {}},
        CallbackSlot{L"onOpenConfig", [](CFrameworkShell& s) { s.fireOnOpenConfig(); }, {}},
        CallbackSlot{L"onRestoreMirdexFromSystemTray",
                     [](CFrameworkShell& s) { s.fireOnRestoreFromSystemTray(); }, {}}),
    [](const ::testing::TestParamInfo<CallbackSlot>& info) {
      std::string name;
      for (const wchar_t* c = info.param.name; *c; ++c) name.push_back(static_cast<char>(*c));
      return name;
    });

TEST_F(ShellTest, AHandlerFiredFromAnotherThreadRunsOnThePagesThread) {
  ComPtr<ComObject<RecordingDispatch>> handler;
  ASSERT_EQ(ComObject<RecordingDispatch>::create(handler), S_OK);
  EXPECT_EQ(put(L"OnDockStateChange", Variant(static_cast<IDispatch*>(handler.get()))), S_OK);

  CFrameworkShell* target = shell();
  std::atomic<bool> done{false};
  std::thread worker([&] {
    ComApartment apartment(COINIT_MULTITHREADED);
    if (apartment.ok()) target->fireOnDockStateChange(8, false);
    done = true;
  });
  // The call is marshalled to this apartment, which must pump for it.
  const ULONGLONG deadline = ::GetTickCount64() + 20000;
  while (!done && ::GetTickCount64() < deadline) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    pumpMessages();
  }
  worker.join();
  ASSERT_TRUE(done);

  const auto calls = handler->calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].thread, ::GetCurrentThreadId());
  ASSERT_EQ(calls[0].args.size(), 2u);
  EXPECT_EQ(V_UI4(&calls[0].args[0]), 8u);
  EXPECT_EQ(V_I2(&calls[0].args[1]), 0);
}

TEST_F(ShellTest, TheEndOfTheSessionReachesTheMainWindowsPageOnly) {
  CFrameworkWindow* second = create(m_window);
  ASSERT_TRUE(second);
  ComPtr<ComObject<RecordingDispatch>> mainHandler, secondHandler;
  ASSERT_EQ(ComObject<RecordingDispatch>::create(mainHandler), S_OK);
  ASSERT_EQ(ComObject<RecordingDispatch>::create(secondHandler), S_OK);
  EXPECT_EQ(put(L"onExitNow", Variant(static_cast<IDispatch*>(mainHandler.get()))), S_OK);
  EXPECT_EQ(DispatchCall::invokeByName(pageObject(second).get(), L"onExitNow",
                                       DISPATCH_PROPERTYPUT,
                                       {Variant(static_cast<IDispatch*>(secondHandler.get()))}),
            S_OK);

  EXPECT_EQ(::SendMessageW(m_hwnd, WM_QUERYENDSESSION, 0, 0), 0);
  ::SendMessageW(second->hwnd(), WM_QUERYENDSESSION, 0, 0);
  EXPECT_EQ(mainHandler->calls().size(), 1u);
  EXPECT_TRUE(secondHandler->calls().empty());
  EXPECT_TRUE(::IsWindow(m_hwnd)) << "the page decides";
}

// ---------------------------------------------------------------------------
// The shortcut folder

class ShortcutDirTest : public ShellTest {
protected:
  std::wstring shortcutDir(const wchar_t* id) {
    Variant folder;
    EXPECT_EQ(call(L"GetShortcutDir", {Variant(id)}, folder.put()), S_OK);
    EXPECT_EQ(folder.type(), VT_BSTR);
    return folder.type() == VT_BSTR ? std::wstring(V_BSTR(&folder), ::SysStringLen(V_BSTR(&folder)))
                                    : std::wstring(L"?");
  }
};

TEST_F(ShortcutDirTest, TheFolderIsCreatedUnderApplicationDataForEveryId) {
  TestDirectory appData;
  EnvironmentOverride variable(L"APPDATA", appData.path().c_str());
  const std::wstring expected = appData.path() + L"\\Mirdex\\shortcuts\\";
  EXPECT_EQ(shortcutDir(L"alice@example.com"), expected);
  EXPECT_TRUE(folderExists(expected));
  EXPECT_EQ(shortcutDir(L"bob"), expected);
  EXPECT_EQ(shortcutDir(nullptr), expected);
  EXPECT_EQ(m_shell->GetShortcutDir(nullptr, nullptr), E_POINTER);
}

TEST_F(ShortcutDirTest, NoFolderIsMadeWhereItCannotBeTheRightOne) {
  // Without the variable the text stays "%appdata%\...": a folder of that
  // name would be made under the current directory.
  {
    EnvironmentOverride variable(L"APPDATA", nullptr);
    EXPECT_EQ(shortcutDir(L"id"), L"");
    EXPECT_FALSE(folderExists(L"%appdata%"));
  }
  TestDirectory appData;
  {
    // Longer than the folder may be.
    const std::wstring deep = appData.path() + L"\\" + std::wstring(240, L'd');
    EnvironmentOverride variable(L"APPDATA", deep.c_str());
    EXPECT_EQ(shortcutDir(L"id"), L"");
  }
  {
    // A file already has the name of a folder along the way.
    const std::wstring file = appData.file(L"Mirdex");
    KernelHandle created(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(created);
    EnvironmentOverride variable(L"APPDATA", appData.path().c_str());
    EXPECT_EQ(shortcutDir(L"id"), L"");
  }
}

// ---------------------------------------------------------------------------
// After the window

TEST_F(ShellTest, AShellKeptPastItsWindowAnswersWithoutTouchingIt) {
  ComPtr<ComObject<RecordingDispatch>> handler;
  ASSERT_EQ(ComObject<RecordingDispatch>::create(handler), S_OK);
  EXPECT_EQ(put(L"OnDockStateChange", Variant(static_cast<IDispatch*>(handler.get()))), S_OK);
  CFrameworkShell* kept = shell();
  ::DestroyWindow(m_hwnd);
  m_window = nullptr;
  EXPECT_EQ(kept->window(), nullptr);
  EXPECT_TRUE(pumpMessages()) << "the main window's end";
  // Another window lives on: a shell that acted on any window would show
  // on it.
  CFrameworkWindow* other = create(nullptr, {200, 100, 600, 700});
  ASSERT_TRUE(other);
  const RECT before = rectOf(other->hwnd());
  const LONG_PTR style = ::GetWindowLongPtrW(other->hwnd(), GWL_STYLE);

  for (const int cmd : {1, 2, 3, 9, 11, 13, 16}) {
    EXPECT_EQ(call(L"WindowSystemCommand", {Variant(cmd)}), S_OK) << cmd;
  }
  EXPECT_EQ(call(L"SetWindowStyle", {Variant(1)}), S_OK);
  EXPECT_EQ(call(L"SetWindowSize", {Variant(800), Variant(800)}), S_OK);
  EXPECT_EQ(call(L"MoveWindowTo", {Variant(10), Variant(10)}), S_OK);
  EXPECT_EQ(call(L"SetMinimumWindowSize", {Variant(0), Variant(0)}), S_OK);
  EXPECT_EQ(call(L"SetWindowAlwaysOnTop", {Variant(true)}), S_OK);
  EXPECT_EQ(call(L"enableDropFile", {Variant(true)}), S_OK);
  EXPECT_EQ(call(L"setWindowVisible", {Variant(true)}), S_OK);
  EXPECT_EQ(call(L"EnableInput", {Variant(true)}), S_OK);
  EXPECT_EQ(put(L"QueryString", Variant(L"a=b")), S_OK);
  EXPECT_EQ(put(L"HtmlWindow", Variant(static_cast<IDispatch*>(handler.get()))), S_OK);
  EXPECT_EQ(put(L"WindowType", Variant(3)), S_OK);

  EXPECT_EQ(getText(L"QueryString"), L"");
  EXPECT_EQ(getText(L"dropFilePath"), L"");
  EXPECT_EQ(getLong(L"WindowPosX"), 0);
  EXPECT_EQ(getLong(L"WindowPosY"), 0);
  Variant value;
  EXPECT_EQ(call(L"GetWindowHandle", {}, value.put()), S_OK);
  long handle = -1;
  EXPECT_EQ(value.asLong(handle), S_OK);
  EXPECT_EQ(handle, 0);
  EXPECT_EQ(get(L"HtmlWindow", value), S_OK);
  EXPECT_TRUE(value.isNothing());
  EXPECT_EQ(get(L"Controller", value), S_OK);
  EXPECT_TRUE(value.isNothing());
  EXPECT_EQ(call(L"GetWindowAppBarSide", {}, value.put()), S_OK);

  const RECT after = rectOf(other->hwnd());
  EXPECT_TRUE(::EqualRect(&before, &after));
  EXPECT_EQ(::GetWindowLongPtrW(other->hwnd(), GWL_STYLE), style);
  EXPECT_FALSE(::IsWindowVisible(other->hwnd()));
  EXPECT_FALSE(pumpMessages());
  EXPECT_TRUE(::IsWindow(other->hwnd()));

  // The handlers are the shell's own and still work.
  kept->fireOnDockStateChange(1, false);
  EXPECT_EQ(handler->calls().size(), 1u);
}
