#include "ShutdownMonitor.h"

#include "ComModule.h"

#include <objbase.h>

ShutdownMonitor::ShutdownMonitor(DWORD mainThreadId, DWORD timeoutMs)
    : RegKillThread(false), m_mainThreadId(mainThreadId), m_timeoutMs(timeoutMs) {}

ShutdownMonitor::~ShutdownMonitor() { stop(true, INFINITE); }

void ShutdownMonitor::notifyIdle() noexcept {
  ::InterlockedExchange(&m_activity, 1);
  m_shutdownEvent.set();
}

void ShutdownMonitor::onThreadRun() {
  const HANDLE waits[] = {m_killEvent.handle(), m_shutdownEvent.handle()};
  constexpr DWORD kIdle = WAIT_OBJECT_0 + 1;
  for (;;) {
    if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != kIdle) return;
    // Quiet for a whole time-out: no further drop to zero meanwhile.
    DWORD result;
    do {
      ::InterlockedExchange(&m_activity, 0);
      result = ::WaitForMultipleObjects(2, waits, FALSE, m_timeoutMs);
      if (result != kIdle && result != WAIT_TIMEOUT) return;  // stop request or failure
    } while (result == kIdle);
    if (::InterlockedCompareExchange(&m_activity, 0, 0) == 0 &&
        ComModule::instance().lockCount() == 0) {
      // No new client may get in between the last check and the quit.
      ::CoSuspendClassObjects();
      if (ComModule::instance().lockCount() == 0) break;
      ::CoResumeClassObjects();
    }
  }
  ::PostThreadMessageW(m_mainThreadId, WM_QUIT, 0, 0);
}
