#include "RegKillThread.h"

RegKillThread::RegKillThread(bool autoDelete) : RegDeadThread(autoDelete) {}

RegKillThread::~RegKillThread() {
  m_killEvent.set();
  m_deadEvent.wait(INFINITE);
}

bool RegKillThread::start(DWORD* threadId) {
  m_killEvent.reset();
  return RegThread::start(threadId);
}

bool RegKillThread::stop(bool wait, DWORD timeout) {
  bool requested = m_killEvent.set();
  if (!wait) return requested;
  return m_deadEvent.wait(timeout);
}
