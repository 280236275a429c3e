// The browser events a window follows, delivered to its sink as the
// control delivers them: the page's title, and a page opening a window.
#include "CFrameworkController.h"
#include "CFrameworkUISink.h"
#include "CFrameworkWindow.h"
#include "Variant.h"
#include "WindowTestSupport.h"

#include <gtest/gtest.h>

#include <exdispid.h>

#include <string>
#include <vector>

namespace {

// The frame windows of this thread other than the given one.
std::vector<CFrameworkWindow*> otherWindows(const CFrameworkWindow* except) {
  struct Search {
    const CFrameworkWindow* except;
    std::vector<CFrameworkWindow*> found;
  } search{except, {}};
  ::EnumThreadWindows(
      ::GetCurrentThreadId(),
      [](HWND window, LPARAM context) -> BOOL {
        auto* s = reinterpret_cast<Search*>(context);
        CFrameworkWindow* object = CFrameworkWindow::fromWindow(window);
        if (object && object != s->except) s->found.push_back(object);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HRESULT fireNewWindow2(IDispatch* sink, IDispatch** browser, VARIANT_BOOL* cancel) {
  VARIANT args[2];
  // Last argument first.
  V_VT(&args[0]) = VT_BYREF | VT_BOOL;
  V_BOOLREF(&args[0]) = cancel;
  V_VT(&args[1]) = VT_BYREF | VT_DISPATCH;
  V_DISPATCHREF(&args[1]) = browser;
  DISPPARAMS params = {args, nullptr, 2, 0};
  return sink->Invoke(DISPID_NEWWINDOW2, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                      nullptr, nullptr, nullptr);
}

HRESULT fireTitleChange(IDispatch* sink, const wchar_t* title) {
  Variant text(title);
  DISPPARAMS params = {&text, nullptr, 1, 0};
  return sink->Invoke(DISPID_TITLECHANGE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                      nullptr, nullptr, nullptr);
}

// What a message box showed, read while it is up and closed afterwards.
struct MessageBoxSeen {
  bool seen = false;
  HWND owner = nullptr;
  std::wstring caption;
  std::vector<std::wstring> texts;
  bool errorIcon = false;
};
MessageBoxSeen g_box;

void CALLBACK closeMessageBox(HWND, UINT, UINT_PTR timer, DWORD) {
  ::EnumThreadWindows(
      ::GetCurrentThreadId(),
      [](HWND window, LPARAM) -> BOOL {
        wchar_t name[32] = {};
        ::GetClassNameW(window, name, 32);
        if (std::wstring_view(name) != L"#32770" || !::IsWindowVisible(window)) return TRUE;
        g_box.seen = true;
        g_box.owner = ::GetWindow(window, GW_OWNER);
        g_box.caption = WindowTest::windowText(window);
        const HICON error = ::LoadIconW(nullptr, IDI_ERROR);
        for (HWND child = ::GetWindow(window, GW_CHILD); child;
             child = ::GetWindow(child, GW_HWNDNEXT)) {
          g_box.texts.push_back(WindowTest::windowText(child));
          if ((::GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
              reinterpret_cast<HICON>(::SendMessageW(child, STM_GETICON, 0, 0)) == error) {
            g_box.errorIcon = true;
          }
        }
        ::PostMessageW(window, WM_COMMAND, IDOK, 0);
        return FALSE;
      },
      0);
  if (g_box.seen) ::KillTimer(nullptr, timer);
}

}  // namespace

class SinkTest : public WindowTest {
protected:
  void SetUp() override {
    WindowTest::SetUp();
    ASSERT_EQ(CFrameworkController::create(m_controller), S_OK);
    m_opener = create(nullptr, {150, 120, 450, 720});
    ASSERT_TRUE(m_opener);
    m_opener->setController(m_controller.get());
    ASSERT_TRUE(m_opener->sink());
  }

  IDispatch* sink() const { return m_opener->sink(); }

  CFrameworkController::Ptr m_controller;
  CFrameworkWindow* m_opener = nullptr;
};

TEST_F(SinkTest, ThePagesTitleBecomesTheWindows) {
  EXPECT_EQ(fireTitleChange(sink(), L"Contacts - Mirdex"), S_OK);
  EXPECT_EQ(windowText(m_opener->hwnd()), L"Contacts - Mirdex");
}

TEST_F(SinkTest, OtherEventsAreAcceptedAndIgnored) {
  DISPPARAMS none = {};
  EXPECT_EQ(sink()->Invoke(DISPID_DOCUMENTCOMPLETE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                           &none, nullptr, nullptr, nullptr),
            S_OK);
  // Malformed arguments of a handled event are refused, not followed.
  EXPECT_EQ(sink()->Invoke(DISPID_NEWWINDOW2, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none,
                           nullptr, nullptr, nullptr),
            DISP_E_BADPARAMCOUNT);
  Variant wrong(1L), alsoWrong(2L);
  VARIANT args[2] = {wrong, alsoWrong};
  DISPPARAMS two = {args, nullptr, 2, 0};
  EXPECT_EQ(sink()->Invoke(DISPID_NEWWINDOW2, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &two,
                           nullptr, nullptr, nullptr),
            DISP_E_TYPEMISMATCH);
  EXPECT_TRUE(otherWindows(m_opener).empty());
}

TEST_F(SinkTest, APageOpensAWindowOverItsOwnWithItsQueryString) {
  m_opener->setQueryString(Bstr(L"a=b"));
  IDispatch* browser = nullptr;
  VARIANT_BOOL cancel = VARIANT_FALSE;
  ASSERT_EQ(fireNewWindow2(sink(), &browser, &cancel), S_OK);
  const ComPtr<IDispatch> handed = ComPtr<IDispatch>(browser);
  if (browser) browser->Release();

  EXPECT_EQ(cancel, VARIANT_FALSE);
  const std::vector<CFrameworkWindow*> opened = otherWindows(m_opener);
  ASSERT_EQ(opened.size(), 1u);
  CFrameworkWindow* window = opened[0];
  EXPECT_FALSE(window->isMainWindow());
  EXPECT_EQ(window->opener(), m_opener);
  // The browser to navigate is the new window's.
  ASSERT_TRUE(handed);
  EXPECT_TRUE(sameComObject(handed.get(), window->browser()));
  EXPECT_TRUE(::IsWindowVisible(window->hwnd()));
  const RECT rc = windowRect(window->hwnd());
  const RECT openerRect = windowRect(m_opener->hwnd());
  EXPECT_TRUE(::EqualRect(&rc, &openerRect));
  EXPECT_EQ(window->queryString(), std::wstring_view(L"a=b"));
  EXPECT_TRUE(m_opener->queryString().empty());
  EXPECT_EQ(window->controller(), static_cast<IFrameworkController*>(m_controller.get()));
  ::DestroyWindow(window->hwnd());
  EXPECT_FALSE(pumpMessages()) << "a secondary window does not end the program";
}

TEST_F(SinkTest, AWindowThatCannotBeMadeCancelsTheNavigationAndSaysSo) {
  const std::wstring frameClass = [&] {
    wchar_t name[128] = {};
    ::GetClassNameW(m_opener->hwnd(), name, 128);
    return std::wstring(name);
  }();
  g_box = {};
  const UINT_PTR timer = ::SetTimer(nullptr, 0, 100, &closeMessageBox);
  ASSERT_NE(timer, 0u);
  IDispatch* browser = nullptr;
  VARIANT_BOOL cancel = VARIANT_FALSE;
  {
    CreationBlocker blocker(frameClass.c_str());
    ASSERT_EQ(fireNewWindow2(sink(), &browser, &cancel), S_OK);
    EXPECT_EQ(blocker.refused(), 1);
  }
  ::KillTimer(nullptr, timer);

  EXPECT_EQ(cancel, VARIANT_TRUE);
  EXPECT_EQ(browser, nullptr);
  EXPECT_TRUE(otherWindows(m_opener).empty());
  ASSERT_TRUE(g_box.seen);
  EXPECT_EQ(g_box.owner, m_opener->hwnd());
  bool textShown = false;
  for (const std::wstring& text : g_box.texts)
    textShown |= text == L"ERROR: Fail to create window!";
  EXPECT_TRUE(textShown);
  // No caption of its own: the system's "Error".
  EXPECT_EQ(g_box.caption, L"Error");
  EXPECT_TRUE(g_box.errorIcon);
}

TEST_F(SinkTest, ASinkKeptPastItsWindowIgnoresEvents) {
  const ComPtr<IDispatch> kept(sink());
  ::DestroyWindow(m_opener->hwnd());
  m_opener = nullptr;
  pumpMessages();
  EXPECT_EQ(fireTitleChange(kept.get(), L"late"), S_OK);
  IDispatch* browser = nullptr;
  VARIANT_BOOL cancel = VARIANT_FALSE;
  EXPECT_EQ(fireNewWindow2(kept.get(), &browser, &cancel), S_OK);
  EXPECT_EQ(browser, nullptr);
  EXPECT_TRUE(otherWindows(nullptr).empty());
}
