#include "RegEvent.h"
#include "RegTimer.h"
#include "RegWait.h"
#include "RegWaitList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <initializer_list>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr DWORD kLong = 10000;  // generous upper bound for anything that should happen soon
constexpr ULONGLONG kSlack = 40;  // waits may end slightly before their nominal time

ULONGLONG now() {
  return ::GetTickCount64();
}

bool isOpen(HANDLE h) {
  DWORD flags = 0;
  return ::GetHandleInformation(h, &flags) != FALSE;
}

// Runs `body` on a thread of its own and reports whether it finished within
// `limit` ms, so that a wait which never ends fails instead of hanging.
bool finishesWithin(DWORD limit, std::function<void()> body) {
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> finished = done->get_future();
  std::thread runner([done, body = std::move(body)] {
    body();
    done->set_value();
  });
  if (finished.wait_for(std::chrono::milliseconds(limit)) != std::future_status::ready) {
    runner.detach();
    return false;
  }
  runner.join();
  return true;
}

// ---------------------------------------------------------------- events

TEST(RegEvent, AutoEventReleasesOneWaitPerSet) {
  RegAutoEvent event;
  ASSERT_NE(event.handle(), nullptr);
  EXPECT_FALSE(event.wait(0));
  EXPECT_TRUE(event.set());
  EXPECT_TRUE(event.wait(0));
  EXPECT_FALSE(event.wait(0));
}

TEST(RegEvent, ManualEventKeepsItsStateUntilReset) {
  for (bool initial : {false, true}) {
    SCOPED_TRACE(initial);
    RegManualEvent event(initial);
    EXPECT_EQ(event.wait(0), initial);
    EXPECT_TRUE(event.set());
    EXPECT_TRUE(event.wait(0));
    EXPECT_TRUE(event.wait(0));
    EXPECT_TRUE(event.reset());
    EXPECT_FALSE(event.wait(0));
  }
}

TEST(RegWait, OwnsTheHandleItWasGiven) {
  HANDLE raw = ::CreateEventW(nullptr, TRUE, TRUE, nullptr);
  {
    RegWait any(raw);
    EXPECT_TRUE(any.wait(0));
  }
  EXPECT_FALSE(isOpen(raw));
}

TEST(RegWait, WithoutAnObjectEveryWaitFails) {
  RegWait none;
  for (DWORD timeout : std::initializer_list<DWORD>{0, 50, INFINITE}) {
    SCOPED_TRACE(timeout);
    EXPECT_FALSE(none.wait(timeout));
    EXPECT_FALSE(none.msgWait(timeout));
  }
  RegWaitList list(1, &none);
  EXPECT_EQ(list.waitAny(0), -1);
}

// A mutex whose owner ended without releasing it is abandoned, and a wait
// that acquires it that way is not a success.
TEST(RegWait, AbandonedMutexIsNotASignal) {
  auto abandoned = [] {
    auto mutex = std::make_unique<RegWait>(::CreateMutexW(nullptr, FALSE, nullptr));
    std::thread([h = mutex->handle()] { ::WaitForSingleObject(h, INFINITE); }).join();
    return mutex;
  };
  auto forWait = abandoned();
  EXPECT_FALSE(forWait->wait(0));
  auto forList = abandoned();
  RegWaitList list(1, forList.get());
  EXPECT_EQ(list.waitAny(0), -1);
}

// ---------------------------------------------------------------- timers

template <class Timer>
void expectFallsDueAfterDelay(bool staysSignalled) {
  Timer timer(0);
  ULONGLONG armed = now();
  ASSERT_TRUE(timer.set(200));
  EXPECT_FALSE(timer.wait(0));
  ASSERT_TRUE(timer.wait(kLong));
  EXPECT_GE(now() - armed + kSlack, 200u);
  // One-shot: nothing more after the due time, apart from a manual timer's
  // lasting signal.
  EXPECT_EQ(timer.wait(300), staysSignalled);
}

TEST(RegTimer, OneShotFallsDueAfterTheDelay) {
  {
    SCOPED_TRACE("manual");
    expectFallsDueAfterDelay<RegManualTimer>(true);
  }
  {
    SCOPED_TRACE("auto");
    expectFallsDueAfterDelay<RegAutoTimer>(false);
  }
}

TEST(RegTimer, PeriodicTimerRepeatsUntilCancelled) {
  RegAutoTimer timer(100);
  ULONGLONG armed = now();
  ASSERT_TRUE(timer.set(50));
  for (int tick = 0; tick < 3; ++tick) ASSERT_TRUE(timer.wait(kLong)) << tick;
  EXPECT_GE(now() - armed + kSlack, 250u);
  EXPECT_TRUE(timer.cancel());
  EXPECT_FALSE(timer.wait(300));
}

// Delays whose 100-ns count does not fit 32 bits must still lie in the
// future, not wrap around to a due time that has already passed.
TEST(RegTimer, LongDelaysLieInTheFuture) {
  for (DWORD delay : std::initializer_list<DWORD>{430000, 5000000, 0xFFFFFFFE, INFINITE}) {
    SCOPED_TRACE(delay);
    RegManualTimer timer(0);
    ASSERT_TRUE(timer.set(delay));
    EXPECT_FALSE(timer.wait(200));
  }
}

// ---------------------------------------------------------------- wait lists

TEST(RegWaitList, SkipsNullEntriesAndReportsTheLowestSignalled) {
  RegManualEvent a(false), b(false);
  RegWaitList list(3, &a, nullptr, &b);
  ASSERT_EQ(list.count(), 2);
  EXPECT_EQ(list.at(0), &a);
  EXPECT_EQ(list.at(1), &b);
  EXPECT_EQ(list.at(2), nullptr);

  EXPECT_EQ(list.waitAny(0), -1);
  EXPECT_EQ(list.waitAnyObject(0), nullptr);
  b.set();
  EXPECT_EQ(list.waitAny(0), 1);
  EXPECT_EQ(list.waitAnyObject(0), &b);
  a.set();
  EXPECT_EQ(list.waitAny(0), 0);
  EXPECT_EQ(list.waitAnyObject(0), &a);
}

TEST(RegWaitList, WithOnlyNullEntriesFailsAtOnce) {
  RegWaitList list(2, nullptr, nullptr);
  EXPECT_EQ(list.count(), 0);
  int result = 0;
  EXPECT_TRUE(finishesWithin(kLong, [&list, &result] { result = list.waitAny(INFINITE); }));
  EXPECT_EQ(result, -1);
}

TEST(RegWaitList, TakesOnlyAsManyPointersAsCounted) {
  RegManualEvent a(false), b(true);
  RegWaitList list(1, &a, &b);
  ASSERT_EQ(list.count(), 1);
  EXPECT_EQ(list.waitAny(0), -1);
}

TEST(RegWaitList, WaitsForAnEntrySignalledLaterOrTimesOut) {
  RegAutoEvent a, b;
  RegWaitList list(2, &a, &b);
  ULONGLONG before = now();
  EXPECT_EQ(list.waitAny(150), -1);
  EXPECT_GE(now() - before + kSlack, 150u);

  std::thread setter([&] {
    ::Sleep(100);
    b.set();
  });
  EXPECT_EQ(list.waitAnyObject(kLong), &b);
  setter.join();
  EXPECT_FALSE(b.wait(0));  // the wait consumed the auto-reset signal
}

// More entries than one multi-object wait takes go through the thread pool.
TEST(RegWaitList, BeyondSixtyFourEntriesReportsTheLowestSignalled) {
  struct Case {
    int entries;
    std::vector<int> signalled;
    DWORD timeout;
    int expected;
  };
  const Case cases[] = {
      {65, {64}, kLong, 64},
      {65, {}, 200, -1},
      {100, {99, 70, 3}, kLong, 3},
      {130, {129}, 0, 129},
      {130, {100, 65}, 0, 65},
      {200, {}, 0, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.entries << " entries, timeout " << c.timeout);
    std::vector<std::unique_ptr<RegManualEvent>> events;
    std::vector<RegWait*> pointers;
    for (int i = 0; i < c.entries; ++i) {
      events.push_back(std::make_unique<RegManualEvent>(false));
      pointers.push_back(events.back().get());
    }
    for (int index : c.signalled) events[index]->set();
    RegWaitList list(c.entries, pointers.data());
    ASSERT_EQ(list.count(), c.entries);

    // Repeated: a zero wait must not miss a signal the pool has yet to see.
    for (int round = 0; round < 5; ++round) {
      ULONGLONG before = now();
      EXPECT_EQ(list.waitAny(c.timeout), c.expected) << "round " << round;
      if (c.expected == -1) {
        EXPECT_GE(now() - before + kSlack, c.timeout);
      }
    }
    EXPECT_EQ(list.waitAnyObject(c.timeout), list.at(c.expected));
  }
}

TEST(RegWaitList, BeyondSixtyFourEntriesWaitsForALaterSignal) {
  std::vector<std::unique_ptr<RegAutoEvent>> events;
  std::vector<RegWait*> pointers;
  for (int i = 0; i < 90; ++i) {
    events.push_back(std::make_unique<RegAutoEvent>());
    pointers.push_back(events.back().get());
  }
  RegWaitList list(90, pointers.data());
  std::thread setter([&] {
    ::Sleep(100);
    events[80]->set();
  });
  EXPECT_EQ(list.waitAny(kLong), 80);
  setter.join();
}

// ---------------------------------------------------------------- msgWait

// A real window on the calling thread that records what reaches it.
class RecordingWindow {
public:
  explicit RecordingWindow(bool visible = false) {
    static const ATOM atom = [] {
      WNDCLASSW wc{};
      wc.lpfnWndProc = wndProc;
      wc.hInstance = ::GetModuleHandleW(nullptr);
      wc.lpszClassName = L"RegWaitTestWindow";
      return ::RegisterClassW(&wc);
    }();
    m_hwnd = ::CreateWindowExW(0, MAKEINTATOM(atom), L"", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200,
                               nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ::SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    if (visible) ::ShowWindow(m_hwnd, SW_SHOWNOACTIVATE);
  }
  ~RecordingWindow() { ::DestroyWindow(m_hwnd); }
  RecordingWindow(const RecordingWindow&) = delete;
  RecordingWindow& operator=(const RecordingWindow&) = delete;

  HWND hwnd() const { return m_hwnd; }

  std::vector<UINT> appMessages;  // WM_APP and above, in arrival order
  int paints = 0;
  bool validatePaint = true;

private:
  static LRESULT CALLBACK wndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<RecordingWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && msg >= WM_APP) {
      self->appMessages.push_back(msg);
      return 0;
    }
    if (self && msg == WM_PAINT) {
      ++self->paints;
      if (!self->validatePaint) return 0;  // leaves the window invalid
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
  }

  HWND m_hwnd = nullptr;
};

TEST(RegWaitMsgWait, SignalledObjectReturnsWithoutDispatching) {
  RecordingWindow window;
  RegManualEvent event(true);
  ::PostMessageW(window.hwnd(), WM_APP + 1, 0, 0);
  EXPECT_TRUE(event.msgWait(INFINITE));
  EXPECT_TRUE(window.appMessages.empty());
  MSG msg;
  EXPECT_TRUE(::PeekMessageW(&msg, window.hwnd(), WM_APP + 1, WM_APP + 1, PM_REMOVE));
}

TEST(RegWaitMsgWait, ZeroTimeoutIsAPlainWait) {
  RecordingWindow window;
  RegManualEvent event(false);
  ::PostMessageW(window.hwnd(), WM_APP + 1, 0, 0);
  EXPECT_FALSE(event.msgWait(0));
  EXPECT_TRUE(window.appMessages.empty());
  event.set();
  EXPECT_TRUE(event.msgWait(0));
}

// Messages posted and sent to the waiting thread's window from elsewhere are
// handled while it waits, whichever way the wait ends.
TEST(RegWaitMsgWait, DispatchesPostedAndSentMessagesWhileWaiting) {
  struct Case {
    const char* name;
    DWORD timeout;
    bool signal;  // set the object after the messages
    bool expected;
    ULONGLONG minElapsed;
  };
  const Case cases[] = {
      {"deadline passes", 400, false, false, 400},
      {"signalled, no deadline", INFINITE, true, true, 150},
      {"signalled before the deadline", kLong, true, true, 150},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingWindow window;
    RegManualEvent event(false);
    std::thread other([&] {
      ::Sleep(50);
      ::PostMessageW(window.hwnd(), WM_APP + 1, 0, 0);
      ::SendMessageW(window.hwnd(), WM_APP + 2, 0, 0);  // returns once handled
      ::Sleep(100);
      if (c.signal) event.set();
    });
    ULONGLONG before = now();
    EXPECT_EQ(event.msgWait(c.timeout), c.expected);
    ULONGLONG elapsed = now() - before;
    other.join();
    EXPECT_GE(elapsed + kSlack, c.minElapsed);
    EXPECT_LT(elapsed, kLong);
    // Sent messages are delivered ahead of posted ones, so order is not kept.
    std::sort(window.appMessages.begin(), window.appMessages.end());
    EXPECT_EQ(window.appMessages, (std::vector<UINT>{WM_APP + 1, WM_APP + 2}));
  }
}

// A window that never validates itself yields WM_PAINT endlessly; the wait
// must still see its deadline.
TEST(RegWaitMsgWait, EndlessPaintingDoesNotHoldUpTheDeadline) {
  auto paints = std::make_shared<int>(0);
  auto result = std::make_shared<bool>(true);
  EXPECT_TRUE(finishesWithin(kLong, [paints, result] {
    RecordingWindow window(true);
    window.validatePaint = false;
    ::InvalidateRect(window.hwnd(), nullptr, TRUE);
    RegManualEvent event(false);
    *result = event.msgWait(300);
    *paints = window.paints;
  }));
  EXPECT_FALSE(*result);
  EXPECT_GT(*paints, 0);
}

// A quit request that arrives while waiting belongs to the thread's own
// message loop: the wait gives up and leaves it in the queue.
TEST(RegWaitMsgWait, QuitRequestIsLeftForTheMessageLoop) {
  auto result = std::make_shared<bool>(true);
  auto quitCode = std::make_shared<WPARAM>(0);
  EXPECT_TRUE(finishesWithin(kLong, [result, quitCode] {
    MSG msg;
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the thread gets a queue
    DWORD self = ::GetCurrentThreadId();
    std::thread other([self] {
      ::Sleep(100);
      ::PostThreadMessageW(self, WM_QUIT, 7, 0);
    });
    RegManualEvent event(false);
    *result = event.msgWait(INFINITE);
    other.join();
    if (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) && msg.message == WM_QUIT) {
      *quitCode = msg.wParam;
    }
  }));
  EXPECT_FALSE(*result);
  EXPECT_EQ(*quitCode, 7u);
}

}  // namespace
