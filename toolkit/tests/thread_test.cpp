#include "RegDeadThread.h"
#include "RegEvent.h"
#include "RegKillThread.h"
#include "RegThread.h"
#include "RegTimerThread.h"
#include "RegWaitList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <type_traits>
#include <vector>

namespace {

constexpr DWORD kLong = 10000;  // generous upper bound for anything that should happen soon

// What a test thread object reports back. Owned by the test, so it outlives
// objects that delete themselves.
struct Probe {
  bool startResult = true;            // what onThreadStart answers
  RegManualEvent running{false};      // the body has begun
  RegManualEvent release{false};      // lets the body return
  RegManualEvent exited{false};       // onThreadExit(true) ran
  RegManualEvent destroyed{false};    // the object's destructor ran
  std::atomic<int> runs{0};
  std::atomic<int> exitsRan{0};
  std::atomic<int> exitsFailed{0};
  std::atomic<bool> bodyDone{false};
  std::atomic<bool> handleInPlace{false};
  std::atomic<DWORD> bodyThreadId{0};
};

// A thread object of kind Base whose body records where it runs, then
// returns once released (a kill thread also when asked to stop).
template <class Base>
class ProbeThread : public Base {
public:
  template <class... Args>
  explicit ProbeThread(Probe& probe, Args... args) : Base(args...), m_probe(&probe) {}
  ~ProbeThread() override { m_probe->destroyed.set(); }

  bool onThreadStart() override { return Base::onThreadStart() && m_probe->startResult; }
  void onThreadExit(bool ran) override {
    ++(ran ? m_probe->exitsRan : m_probe->exitsFailed);
    Base::onThreadExit(ran);
    if (ran) m_probe->exited.set();
  }

  void onThreadRun() override {
    Probe* probe = m_probe;
    probe->bodyThreadId = ::GetCurrentThreadId();
    {
      CriticalSectionLock lock(this->m_lock);
      probe->handleInPlace =
          this->m_hThread && ::GetThreadId(this->m_hThread.get()) == ::GetCurrentThreadId();
    }
    ++probe->runs;
    probe->running.set();
    if constexpr (std::is_base_of_v<RegKillThread, Base>) {
      RegWaitList(2, &this->m_killEvent, &probe->release).waitAny(INFINITE);
    } else {
      probe->release.wait(INFINITE);
    }
    probe->bodyDone = true;
  }

  HANDLE threadHandle() {
    CriticalSectionLock lock(this->m_lock);
    return this->m_hThread.get();
  }
  bool isDead(DWORD timeout)
    requires std::is_base_of_v<RegDeadThread, Base>
  {
    return this->m_deadEvent.wait(timeout);
  }

private:
  Probe* m_probe;
};

using PlainThread = ProbeThread<RegThread>;
using DeadThread = ProbeThread<RegDeadThread>;
using KillThread = ProbeThread<RegKillThread>;

// ---------------------------------------------------------------- start

TEST(RegThreadStart, RunningObjectReportsItsThreadInsteadOfANewOne) {
  Probe probe;
  DeadThread thread(probe, false);
  DWORD first = 0, second = 0;
  ASSERT_TRUE(thread.start(&first));
  EXPECT_NE(first, 0u);
  EXPECT_TRUE(thread.start(&second));
  EXPECT_EQ(second, first);
  EXPECT_TRUE(thread.start());
  EXPECT_FALSE(thread.isDead(0));

  probe.release.set();
  ASSERT_TRUE(thread.isDead(kLong));
  EXPECT_EQ(probe.runs, 1);
  EXPECT_EQ(probe.exitsRan, 1);
  EXPECT_EQ(probe.bodyThreadId, first);
}

// A body that returns at once races the end of start: the handle must be in
// place before it runs, and each ended thread leaves the object restartable.
TEST(RegThreadStart, RestartsAfterEachEndWithTheHandleInPlaceFirst) {
  Probe probe;
  probe.release.set();
  DeadThread thread(probe, false);
  constexpr int kRounds = 20;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE(round);
    probe.exited.reset();
    DWORD id = 0;
    ASSERT_TRUE(thread.start(&id));
    ASSERT_TRUE(probe.exited.wait(kLong));
    EXPECT_TRUE(probe.handleInPlace);
    EXPECT_EQ(probe.bodyThreadId, id);
    EXPECT_EQ(thread.threadHandle(), nullptr);
    EXPECT_TRUE(thread.isDead(kLong));
  }
  EXPECT_EQ(probe.runs, kRounds);
  EXPECT_EQ(probe.exitsRan, kRounds);
  EXPECT_EQ(probe.exitsFailed, 0);
}

TEST(RegThreadStart, RefusedStartReportsNoThreadAndDeletesAnAutoDeleteObject) {
  for (bool autoDelete : {false, true}) {
    SCOPED_TRACE(autoDelete);
    Probe probe;
    probe.startResult = false;
    auto* thread = new DeadThread(probe, autoDelete);
    DWORD id = 0xDEADu;
    EXPECT_FALSE(thread->start(&id));
    EXPECT_EQ(id, 0u);
    EXPECT_EQ(probe.exitsFailed, 1);
    EXPECT_EQ(probe.exitsRan, 0);
    EXPECT_EQ(probe.runs, 0);
    // Deleted before start returned, or left idle and dead again.
    EXPECT_EQ(probe.destroyed.wait(0), autoDelete);
    if (!autoDelete) {
      EXPECT_TRUE(thread->isDead(0));
      EXPECT_EQ(thread->threadHandle(), nullptr);
      delete thread;
    }
  }
}

// ---------------------------------------------------------------- lifetime

TEST(RegThreadLifetime, AutoDeleteObjectIsDeletedWhenItsBodyReturns) {
  struct Case {
    const char* name;
    bool fromConstruction;  // else set right after a successful start
  };
  for (const Case& c : {Case{"from construction", true}, Case{"set after start", false}}) {
    SCOPED_TRACE(c.name);
    Probe probe;
    auto* thread = new PlainThread(probe, c.fromConstruction);
    ASSERT_TRUE(thread->start());
    if (!c.fromConstruction) thread->setAutoDelete(true);
    EXPECT_FALSE(probe.destroyed.wait(0));
    probe.release.set();
    EXPECT_TRUE(probe.destroyed.wait(kLong));
    EXPECT_EQ(probe.exitsRan, 1);
  }
}

TEST(RegThreadLifetime, DetachDeletesNowOrWhenTheBodyReturns) {
  struct Case {
    const char* name;
    bool endedFirst;
  };
  for (const Case& c : {Case{"ended", true}, Case{"running", false}}) {
    SCOPED_TRACE(c.name);
    Probe probe;
    auto* thread = new DeadThread(probe, false);
    ASSERT_TRUE(thread->start());
    if (c.endedFirst) {
      probe.release.set();
      ASSERT_TRUE(thread->isDead(kLong));
    }
    EXPECT_EQ(thread->detach(), c.endedFirst);
    EXPECT_EQ(probe.destroyed.wait(0), c.endedFirst);
    probe.release.set();
    EXPECT_TRUE(probe.destroyed.wait(kLong));
  }
}

TEST(RegThreadLifetime, DeadThreadDestructorWaitsForTheBody) {
  Probe probe;
  auto* thread = new DeadThread(probe, false);
  ASSERT_TRUE(thread->start());
  // The body must be under way: the base destructor cannot keep a body that
  // has yet to begin from finding its subclass already gone.
  ASSERT_TRUE(probe.running.wait(kLong));
  std::thread releaser([&] {
    ::Sleep(200);
    probe.release.set();
  });
  delete thread;
  EXPECT_TRUE(probe.bodyDone);
  releaser.join();
}

// ---------------------------------------------------------------- stop

// A kill thread whose body, once asked to stop, lingers until let go.
class LingeringKillThread : public RegKillThread {
public:
  explicit LingeringKillThread(RegManualEvent& linger) : RegKillThread(false), m_linger(&linger) {}
  void onThreadRun() override {
    m_killEvent.wait(INFINITE);
    m_linger->wait(INFINITE);
  }
  bool isDead(DWORD timeout) { return m_deadEvent.wait(timeout); }

private:
  RegManualEvent* m_linger;
};

TEST(RegKillThreadStop, WithoutWaitReturnsAtOnceAndWithWaitReportsTheEnd) {
  RegManualEvent linger(false);
  LingeringKillThread thread(linger);
  ASSERT_TRUE(thread.start());

  ULONGLONG before = ::GetTickCount64();
  EXPECT_TRUE(thread.stop(false, INFINITE));
  EXPECT_LT(::GetTickCount64() - before, 2000u);
  EXPECT_FALSE(thread.stop(true, 0));  // still lingering
  EXPECT_FALSE(thread.isDead(100));

  linger.set();
  EXPECT_TRUE(thread.stop(true, kLong));
  EXPECT_TRUE(thread.stop(true, 0));  // ended stays ended
}

TEST(RegKillThreadStop, RestartAfterStopIgnoresTheOldRequest) {
  Probe probe;
  KillThread thread(probe, false);
  ASSERT_TRUE(thread.start());
  ASSERT_TRUE(thread.stop(true, kLong));
  probe.bodyDone = false;

  ASSERT_TRUE(thread.start());
  // A stale request would end the new body at once.
  EXPECT_FALSE(thread.isDead(300));
  EXPECT_FALSE(probe.bodyDone);
  EXPECT_TRUE(thread.stop(true, kLong));
  EXPECT_EQ(probe.runs, 2);
  EXPECT_EQ(probe.exitsRan, 2);
}

TEST(RegKillThreadStop, DestructorAsksTheBodyToEndAndWaits) {
  Probe probe;
  auto* thread = new KillThread(probe, false);
  ASSERT_TRUE(thread->start());
  ASSERT_TRUE(probe.running.wait(kLong));  // see DeadThreadDestructorWaitsForTheBody
  delete thread;
  EXPECT_TRUE(probe.bodyDone);
  EXPECT_TRUE(probe.destroyed.wait(0));
}

// ---------------------------------------------------------------- timer thread

// Records the time of each tick; ends after `lastTick` ticks; can hold its
// first tick until released.
class TickThread : public RegTimerThread {
public:
  TickThread(LONG period, DWORD delay, bool autoDelete, Probe& probe, int lastTick)
      : RegTimerThread(period, delay, autoDelete), m_probe(&probe), m_lastTick(lastTick) {}
  ~TickThread() override { m_probe->destroyed.set(); }

  bool onTimer() override {
    ticks.push_back(::GetTickCount64());
    if (ticks.size() == 1) {
      firstTick.set();
      holdFirst->wait(INFINITE);
    }
    return static_cast<int>(ticks.size()) < m_lastTick;
  }

  bool isDead(DWORD timeout) { return m_deadEvent.wait(timeout); }
  bool timerSignalled(DWORD timeout) { return m_timer.wait(timeout); }

  std::vector<ULONGLONG> ticks;  // read by the test only once the thread ended
  RegManualEvent firstTick{false};
  RegManualEvent released{true};
  RegManualEvent* holdFirst = &released;

private:
  Probe* m_probe;
  int m_lastTick;
};

TEST(RegTimerThreadTicks, FirstTickAfterDelayThenEveryPeriodUntilFalse) {
  struct Case {
    DWORD delay;
    LONG period;
  };
  constexpr int kTicks = 4;
  constexpr ULONGLONG kSlack = 40;
  for (const Case& c : {Case{300, 100}, Case{50, 200}}) {
    SCOPED_TRACE(testing::Message() << "delay " << c.delay << " period " << c.period);
    Probe probe;
    TickThread thread(c.period, c.delay, false, probe, kTicks);
    ULONGLONG started = ::GetTickCount64();
    ASSERT_TRUE(thread.start());
    ASSERT_TRUE(thread.isDead(kLong));  // onTimer's false ended it

    ASSERT_EQ(thread.ticks.size(), static_cast<size_t>(kTicks));
    EXPECT_GE(thread.ticks.front() - started + kSlack, c.delay);
    EXPECT_LT(thread.ticks.front() - started, c.delay + 3000);
    EXPECT_GE(thread.ticks.back() - thread.ticks.front() + kSlack,
              static_cast<ULONGLONG>(c.period) * (kTicks - 1));
    // Cancelled: a running periodic timer would fall due again within a period.
    EXPECT_FALSE(thread.timerSignalled(3 * c.period));
  }
}

TEST(RegTimerThreadTicks, StopWinsOverATickDueAtTheSameTime) {
  Probe probe;
  RegManualEvent hold(false);
  TickThread thread(50, 0, false, probe, 100);
  thread.holdFirst = &hold;
  ASSERT_TRUE(thread.start());
  ASSERT_TRUE(thread.firstTick.wait(kLong));
  ::Sleep(300);  // several periods: the next tick is due while the first is held
  EXPECT_TRUE(thread.stop(false, INFINITE));
  hold.set();
  ASSERT_TRUE(thread.isDead(kLong));
  EXPECT_EQ(thread.ticks.size(), 1u);
  // The due tick was left unconsumed (cancelling does not unsignal a timer).
  EXPECT_TRUE(thread.timerSignalled(0));
}

TEST(RegTimerThreadTicks, AutoDeleteThreadDeletesItselfAfterTheLastTick) {
  Probe probe;
  auto* thread = new TickThread(100, 100, true, probe, 2);
  ASSERT_TRUE(thread->start());
  EXPECT_TRUE(probe.destroyed.wait(kLong));
}

TEST(RegTimerThreadTicks, DestroyingARunningTimerThreadEndsIt) {
  Probe probe;
  auto* thread = new TickThread(1000, 60000, false, probe, 100);
  ASSERT_TRUE(thread->start());
  ULONGLONG before = ::GetTickCount64();
  delete thread;
  EXPECT_LT(::GetTickCount64() - before, kLong);
}

}  // namespace
