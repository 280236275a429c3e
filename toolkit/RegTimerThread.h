#pragma once
// A thread that calls onTimer first `delay` ms after its start and then
// every `period` ms, until onTimer returns false or a stop is requested.
#include "RegKillThread.h"
#include "RegTimer.h"

class RegTimerThread : public RegKillThread {
public:
  RegTimerThread(LONG period, DWORD delay, bool autoDelete);
  ~RegTimerThread() override;

  void onThreadRun() override;
  // One tick, on the thread without m_lock; true keeps ticking.
  virtual bool onTimer() = 0;

protected:
  RegAutoTimer m_timer;
  LONG m_period;
  DWORD m_delay;
};
