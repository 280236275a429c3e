#include "RegTimerThread.h"

#include "RegWaitList.h"

RegTimerThread::RegTimerThread(LONG period, DWORD delay, bool autoDelete)
    : RegKillThread(autoDelete), m_timer(period), m_period(period), m_delay(delay) {}

RegTimerThread::~RegTimerThread() {
  // The running loop waits on m_timer: end it before the timer's handle is
  // closed, not after.
  stop(true, INFINITE);
}

void RegTimerThread::onThreadRun() {
  bool armed;
  {
    CriticalSectionLock lock(m_lock);
    armed = m_timer.set(m_delay);
  }
  if (armed) {
    // The kill event comes first so it wins over a tick due at the same time.
    RegWaitList waits(2, &m_killEvent, &m_timer);
    while (waits.waitAnyObject(INFINITE) == &m_timer && onTimer()) {
    }
  }
  m_timer.cancel();
}
