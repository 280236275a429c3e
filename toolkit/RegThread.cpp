#include "RegThread.h"

RegThread::RegThread(bool autoDelete) : m_bAutoDelete(autoDelete) {}

RegThread::~RegThread() {
  // Waits for an ending thread to leave its end-of-run section.
  CriticalSectionLock lock(m_lock);
  m_hThread.reset();
}

bool RegThread::start(DWORD* threadId) {
  CriticalSectionLock lock(m_lock);
  if (m_hThread) {
    if (threadId) *threadId = m_dwThreadId;
    return true;
  }

  m_dwThreadId = 0;
  if (onThreadStart()) {
    // Created suspended so the handle is stored before the body can run and
    // the end-of-run section of a very short body cannot overtake start.
    m_hThread.reset(::CreateThread(nullptr, 0, threadProc, this, CREATE_SUSPENDED, &m_dwThreadId));
    if (m_hThread) {
      if (threadId) *threadId = m_dwThreadId;
      ::ResumeThread(m_hThread.get());
      return true;
    }
    m_dwThreadId = 0;
  }

  if (threadId) *threadId = m_dwThreadId;
  onThreadExit(false);
  if (m_bAutoDelete) {
    lock.unlock();
    deleteSelf();
  }
  return false;
}

bool RegThread::onThreadStart() {
  return true;
}

void RegThread::onThreadExit(bool) {}

void RegThread::deleteSelf() {
  delete this;
}

void RegThread::setAutoDelete(bool autoDelete) {
  CriticalSectionLock lock(m_lock);
  m_bAutoDelete = autoDelete;
}

DWORD WINAPI RegThread::threadProc(LPVOID param) {
  auto* self = static_cast<RegThread*>(param);
  self->onThreadRun();

  CriticalSectionLock lock(self->m_lock);
  self->onThreadExit(true);
  self->m_hThread.reset();
  if (self->m_bAutoDelete) {
    lock.unlock();
    self->deleteSelf();
  }
  // Without auto-delete the owner may destroy the object as soon as the
  // lock is released: nothing here touches it afterwards.
  return 0;
}
