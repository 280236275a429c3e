// The local server's delayed shut-down, in this process: the monitor's
// thread against this test's thread and the module count of this program.
#include "ComModule.h"
#include "ShutdownMonitor.h"

#include <gtest/gtest.h>

namespace {

constexpr DWORD kTimeoutMs = 200;

// Whether WM_QUIT reaches this thread within waitMs.
bool quitArrives(DWORD waitMs) {
  const ULONGLONG start = ::GetTickCount64();
  for (;;) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) return true;
    }
    const ULONGLONG spent = ::GetTickCount64() - start;
    if (spent >= waitMs) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(waitMs - spent), QS_ALLINPUT);
  }
}

class ShutdownMonitorTest : public testing::Test {
protected:
  void SetUp() override {
    MSG msg;
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // this thread has a queue
    ASSERT_EQ(ComModule::instance().lockCount(), 0);
  }

  ShutdownMonitor monitor{::GetCurrentThreadId(), kTimeoutMs};
};

TEST_F(ShutdownMonitorTest, QuitsTheMainThreadAfterAQuietTimeOut) {
  ASSERT_TRUE(monitor.start());
  const ULONGLONG before = ::GetTickCount64();
  monitor.notifyIdle();
  ASSERT_TRUE(quitArrives(30000));
  EXPECT_GE(::GetTickCount64() - before + 20, kTimeoutMs);
}

TEST_F(ShutdownMonitorTest, ADropBeforeTheStartIsNotLost) {
  monitor.notifyIdle();
  ASSERT_TRUE(monitor.start());
  EXPECT_TRUE(quitArrives(30000));
}

TEST_F(ShutdownMonitorTest, StaysWhileTheModuleIsLocked) {
  ASSERT_TRUE(monitor.start());
  ComModule::instance().lock();
  monitor.notifyIdle();
  // Several time-outs pass without a quit.
  EXPECT_FALSE(quitArrives(5 * kTimeoutMs));
  ComModule::instance().unlock();
  // The next drop to zero starts the wait again.
  monitor.notifyIdle();
  EXPECT_TRUE(quitArrives(30000));
}

TEST_F(ShutdownMonitorTest, EachDropRestartsTheTimeOut) {
  // A longer time-out, so that a busy machine's scheduling cannot make the
  // drops look a whole time-out apart.
  constexpr DWORD kLongTimeoutMs = 1000;
  constexpr DWORD kPeriodMs = kLongTimeoutMs / 4;
  constexpr int kDrops = 6;
  ShutdownMonitor slow(::GetCurrentThreadId(), kLongTimeoutMs);
  ASSERT_TRUE(slow.start());
  const ULONGLONG start = ::GetTickCount64();
  for (int i = 0; i < kDrops; ++i) {
    slow.notifyIdle();
    EXPECT_FALSE(quitArrives(kPeriodMs));
  }
  EXPECT_TRUE(quitArrives(30000));
  // Not before a whole time-out after the last drop (a little slack for
  // the tick's resolution).
  EXPECT_GE(::GetTickCount64() - start + 20, (kDrops - 1) * kPeriodMs + kLongTimeoutMs);
}

TEST_F(ShutdownMonitorTest, StopEndsTheThreadWithoutAQuit) {
  ASSERT_TRUE(monitor.start());
  monitor.notifyIdle();
  EXPECT_TRUE(monitor.stop(true, 30000));
  EXPECT_FALSE(quitArrives(3 * kTimeoutMs));
}

}  // namespace
