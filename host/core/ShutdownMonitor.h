#pragma once
// The local server's delayed shut-down: once the module's count of objects
// and server locks has dropped to zero and stayed there for the time-out,
// the class objects are suspended and the main thread is told to quit.
// Every new drop to zero during the time-out starts it again.
#include "RegEvent.h"
#include "RegKillThread.h"

class ShutdownMonitor final : public RegKillThread {
public:
  // mainThreadId: the thread whose message loop receives WM_QUIT.
  ShutdownMonitor(DWORD mainThreadId, DWORD timeoutMs);
  ~ShutdownMonitor() override;

  // The module's count has just dropped to zero (any thread). Also valid
  // before the thread starts: it then begins with a pending drop.
  void notifyIdle() noexcept;

  void onThreadRun() override;

private:
  const DWORD m_mainThreadId;
  const DWORD m_timeoutMs;
  RegAutoEvent m_shutdownEvent;
  volatile LONG m_activity = 0;
};
