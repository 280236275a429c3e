// The browser's UI questions as the control asks them: through the host's
// IDocHostUIHandler, which hands them to the window's CFrameworkUIHandler.
#include "CBrowserHost.h"
#include "CFrameworkUIHandler.h"
#include "CFrameworkWindow.h"
#include "WindowTestSupport.h"

#include <gtest/gtest.h>

#include <mshtmhst.h>
#include <objsafe.h>

#include <string>

namespace {

// Task-memory text handed out by IDocHostUIHandler.
struct TaskText {
  LPWSTR text = nullptr;
  ~TaskText() { ::CoTaskMemFree(text); }
};

// The Ctrl key held (or not) as far as this thread's key state goes.
class CtrlKey {
public:
  explicit CtrlKey(bool down) {
    ::GetKeyboardState(m_saved);
    BYTE state[256];
    ::GetKeyboardState(state);
    state[VK_CONTROL] = state[VK_LCONTROL] = down ? 0x80 : 0;
    ::SetKeyboardState(state);
  }
  ~CtrlKey() { ::SetKeyboardState(m_saved); }
  CtrlKey(const CtrlKey&) = delete;
  CtrlKey& operator=(const CtrlKey&) = delete;

private:
  BYTE m_saved[256];
};

}  // namespace

class UIHandlerTest : public WindowTest {
protected:
  void SetUp() override {
    WindowTest::SetUp();
    m_window = create(nullptr);
    ASSERT_TRUE(m_window);
    CBrowserHost* host = CBrowserHost::fromWindow(m_window->hostWindow());
    ASSERT_TRUE(host);
    ASSERT_EQ(host->externalUIHandler(),
              static_cast<IDocHostUIHandlerDispatch*>(m_window->uiHandler()));
    ASSERT_EQ(static_cast<IOleClientSite*>(host)->QueryInterface(IID_IDocHostUIHandler,
                                                                 m_docHost.putVoid()),
              S_OK);
  }

  CFrameworkWindow* m_window = nullptr;
  ComPtr<IDocHostUIHandler> m_docHost;
};

struct UrlCase {
  const wchar_t* url;
  const wchar_t* translated;  // null: the URL stays as it is
  const wchar_t* query;       // null: the query string is left alone
};

class TranslateUrlTest : public UIHandlerTest, public ::testing::WithParamInterface<UrlCase> {};

TEST_P(TranslateUrlTest, ResUrlsLoseTheirQueryToTheWindow) {
  const UrlCase& c = GetParam();
  m_window->setQueryString(Bstr(L"earlier"));
  std::wstring url = c.url;
  TaskText out;
  const HRESULT hr = m_docHost->TranslateUrl(0, url.data(), &out.text);
  if (c.translated) {
    EXPECT_EQ(hr, S_OK);
    ASSERT_TRUE(out.text);
    EXPECT_STREQ(out.text, c.translated);
  } else {
    EXPECT_EQ(hr, S_FALSE);
    EXPECT_EQ(out.text, nullptr);
  }
  EXPECT_EQ(m_window->queryString(), std::wstring_view(c.query ? c.query : L"earlier"));
}

INSTANTIATE_TEST_SUITE_P(
    Urls, TranslateUrlTest,
    ::testing::Values(
        UrlCase{L"res://host.exe/_HTML_/a.html?x=1#top", L"res://host.exe/_HTML_/a.html#top",
                L"x=1"},
        UrlCase{L"res://host.exe/_HTML_/a.html?a=b", L"res://host.exe/_HTML_/a.html", L"a=b"},
        UrlCase{L"RES://host.exe/a.html?a=b&c=d#x?y#z", L"RES://host.exe/a.html#x?y#z", L"a=b&c=d"},
        UrlCase{L"res://host.exe/a.html?", L"res://host.exe/a.html", L""},
        UrlCase{L"res://host.exe/a.html?#", L"res://host.exe/a.html#", L""},
        UrlCase{L"res://host.exe/_HTML_/a.html", nullptr, nullptr},
        UrlCase{L"res://host.exe/_HTML_/a.html#top", nullptr, nullptr},
        UrlCase{L"http://example.com/a.html?x=1#top", nullptr, nullptr},
        UrlCase{L"resx://host.exe/a.html?x=1", nullptr, nullptr},
        UrlCase{L"about:blank?x=1", nullptr, nullptr}, UrlCase{L"res", nullptr, nullptr},
        UrlCase{L"", nullptr, nullptr}));

TEST_F(UIHandlerTest, NoUrlMeansNoReplacement) {
  BSTR out = reinterpret_cast<BSTR>(1);
  EXPECT_EQ(m_window->uiHandler()->TranslateUrl(0, nullptr, &out), S_FALSE);
  EXPECT_EQ(out, nullptr);
}

struct KeyCase {
  const char* name;
  UINT message;
  WPARAM key;
  bool ctrl;
  HRESULT expected;  // S_OK: handled here, the browser does nothing
};

class AcceleratorTest : public UIHandlerTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(AcceleratorTest, OnlyEditingAndNavigationKeysReachTheBrowser) {
  const KeyCase& c = GetParam();
  CtrlKey ctrl(c.ctrl);
  MSG message = {};
  message.hwnd = m_window->hwnd();
  message.message = c.message;
  message.wParam = c.key;
  EXPECT_EQ(m_docHost->TranslateAccelerator(&message, nullptr, 0), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Keys, AcceleratorTest,
                         ::testing::Values(KeyCase{"F5", WM_KEYDOWN, VK_F5, false, S_OK},
                                           KeyCase{"Backspace", WM_KEYDOWN, VK_BACK, false, S_OK},
                                           KeyCase{"CtrlN", WM_KEYDOWN, 'N', true, S_OK},
                                           KeyCase{"CtrlP", WM_KEYDOWN, 'P', true, S_OK},
                                           KeyCase{"Escape", WM_KEYDOWN, VK_ESCAPE, false, S_OK},
                                           KeyCase{"CtrlC", WM_KEYDOWN, 'C', true, S_FALSE},
                                           KeyCase{"CtrlV", WM_KEYDOWN, 'V', true, S_FALSE},
                                           KeyCase{"CtrlX", WM_KEYDOWN, 'X', true, S_FALSE},
                                           KeyCase{"CtrlZ", WM_KEYDOWN, 'Z', true, S_FALSE},
                                           KeyCase{"PlainC", WM_KEYDOWN, 'C', false, S_OK},
                                           KeyCase{"PlainV", WM_KEYDOWN, 'V', false, S_OK},
                                           KeyCase{"Tab", WM_KEYDOWN, VK_TAB, false, S_FALSE},
                                           KeyCase{"CtrlTab", WM_KEYDOWN, VK_TAB, true, S_FALSE},
                                           KeyCase{"Enter", WM_KEYDOWN, VK_RETURN, false, S_FALSE},
                                           KeyCase{"F5Up", WM_KEYUP, VK_F5, false, S_FALSE},
                                           KeyCase{"Char", WM_CHAR, 'a', false, S_FALSE}),
                         [](const ::testing::TestParamInfo<KeyCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(UIHandlerTest, TheHostFlagsAreAddedToThoseGiven) {
  DOCHOSTUIINFO info = {};
  info.cbSize = sizeof(info);
  info.dwFlags = DOCHOSTUIFLAG_DIALOG | DOCHOSTUIFLAG_NO3DBORDER;
  info.dwDoubleClick = DOCHOSTUIDBLCLK_SHOWPROPERTIES;
  ASSERT_EQ(m_docHost->GetHostInfo(&info), S_OK);
  EXPECT_EQ(info.dwFlags, static_cast<DWORD>(DOCHOSTUIFLAG_DIALOG | 0x240084));
  EXPECT_EQ(info.dwDoubleClick, static_cast<DWORD>(DOCHOSTUIDBLCLK_SHOWPROPERTIES));
}

TEST_F(UIHandlerTest, OnlyFormControlsKeepTheBrowsersContextMenu) {
  POINT at = {10, 10};
  for (DWORD id = CONTEXT_MENU_DEFAULT; id <= CONTEXT_MENU_ANCHOR; ++id) {
    // S_FALSE: the browser shows its menu; S_OK: the host took care (none).
    EXPECT_EQ(m_docHost->ShowContextMenu(id, &at, nullptr, nullptr),
              id == CONTEXT_MENU_CONTROL ? S_FALSE : S_OK)
        << "menu " << id;
  }
}

TEST_F(UIHandlerTest, TheBrowserReadsItsOptionsUnderTheProgramsKey) {
  TaskText key;
  ASSERT_EQ(m_docHost->GetOptionKeyPath(&key.text, 0), S_OK);
  EXPECT_STREQ(key.text, L"Software\\Mirdex\\browser");
}

TEST_F(UIHandlerTest, TheBrowserShowsNoUIOfItsOwn) {
  EXPECT_EQ(m_window->uiHandler()->ShowUI(DOCHOSTUITYPE_BROWSE, nullptr, nullptr, nullptr, nullptr,
                                          nullptr),
            E_NOTIMPL);
  // The host answers for the handler: it looks after the UI itself.
  EXPECT_EQ(m_docHost->ShowUI(DOCHOSTUITYPE_BROWSE, nullptr, nullptr, nullptr, nullptr), S_OK);
}

TEST_F(UIHandlerTest, ThePagesExternalObjectIsTheWindowsShell) {
  ComPtr<IDispatch> external;
  ASSERT_EQ(m_docHost->GetExternal(external.put()), S_OK);
  ASSERT_TRUE(external);
  EXPECT_TRUE(sameComObject(external.get(), static_cast<IFrameworkShell*>(m_window->shell())));
  EXPECT_EQ(m_window->shell()->window(), m_window);

  ComPtr<IFrameworkShell> shell;
  ASSERT_EQ(external.As(IID_IFrameworkShell, shell), S_OK);
  // Scripts may use it: it declares itself safe for them.
  ComPtr<IObjectSafety> safety;
  ASSERT_EQ(external.As(IID_IObjectSafety, safety), S_OK);
  DWORD supported = 0, enabled = 0;
  ASSERT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(supported, static_cast<DWORD>(INTERFACESAFE_FOR_UNTRUSTED_CALLER |
                                          INTERFACESAFE_FOR_UNTRUSTED_DATA));
  // It acts on this window.
  m_window->setQueryString(Bstr(L"x=1"));
  Bstr query;
  EXPECT_EQ(shell->get_QueryString(query.put()), S_OK);
  EXPECT_EQ(query, std::wstring_view(L"x=1"));
}

TEST_F(UIHandlerTest, ResizeBorderGivesTheClientAreaTheRequestedSize) {
  const RECT before = windowRect(m_window->hwnd());
  RECT border = {0, 0, 420, 640};
  EXPECT_EQ(m_docHost->ResizeBorder(&border, nullptr, TRUE), S_OK);
  RECT client;
  ::GetClientRect(m_window->hwnd(), &client);
  EXPECT_EQ(client.right, 420);
  EXPECT_EQ(client.bottom, 640);
  const RECT after = windowRect(m_window->hwnd());
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.top, before.top);
}

TEST_F(UIHandlerTest, CompanionsKeptPastTheWindowNoLongerReachIt) {
  CFrameworkUIHandler* handler = m_window->uiHandler();
  CFrameworkShell* shell = m_window->shell();
  const ComPtr<IDocHostUIHandlerDispatch> keepHandler(handler);
  const ComPtr<IFrameworkShell> keepShell(shell);
  ::DestroyWindow(m_window->hwnd());
  m_window = nullptr;

  EXPECT_EQ(shell->window(), nullptr);
  EXPECT_EQ(handler->window(), nullptr);
  ComPtr<IDispatch> external;
  EXPECT_EQ(handler->GetExternal(external.put()), S_FALSE);
  EXPECT_FALSE(external);
  Bstr url(L"res://host.exe/a.html?x=1");
  Bstr translated;
  EXPECT_EQ(handler->TranslateUrl(0, url.get(), translated.put()), S_OK);
  EXPECT_EQ(translated, std::wstring_view(L"res://host.exe/a.html"));
  EXPECT_EQ(handler->ResizeBorder(0, 0, 100, 100, nullptr, VARIANT_TRUE), S_OK);
}
