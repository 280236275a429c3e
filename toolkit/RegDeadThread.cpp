#include "RegDeadThread.h"

RegDeadThread::RegDeadThread(bool autoDelete) : RegThread(autoDelete) {}

RegDeadThread::~RegDeadThread() {
  m_deadEvent.wait(INFINITE);
}

bool RegDeadThread::onThreadStart() {
  m_deadEvent.reset();
  return true;
}

void RegDeadThread::onThreadExit(bool) {
  m_deadEvent.set();
}

bool RegDeadThread::detach() {
  CriticalSectionLock lock(m_lock);
  m_bAutoDelete = true;
  if (m_deadEvent.wait(0)) {
    lock.unlock();
    deleteSelf();
    return true;
  }
  return false;
}
