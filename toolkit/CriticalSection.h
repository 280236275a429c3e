#pragma once
// A critical section and its scoped lock. The lock can be released early,
// for the paths that must call out (or delete the owner) unlocked.
#include <windows.h>

class CriticalSection {
public:
  CriticalSection() noexcept { ::InitializeCriticalSection(&m_cs); }
  ~CriticalSection() { ::DeleteCriticalSection(&m_cs); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void enter() noexcept { ::EnterCriticalSection(&m_cs); }
  void leave() noexcept { ::LeaveCriticalSection(&m_cs); }

private:
  CRITICAL_SECTION m_cs;
};

class CriticalSectionLock {
public:
  explicit CriticalSectionLock(CriticalSection& cs) noexcept : m_cs(&cs) { m_cs->enter(); }
  ~CriticalSectionLock() { unlock(); }
  CriticalSectionLock(const CriticalSectionLock&) = delete;
  CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

  void unlock() noexcept {
    if (m_cs) {
      m_cs->leave();
      m_cs = nullptr;
    }
  }

private:
  CriticalSection* m_cs;
};
