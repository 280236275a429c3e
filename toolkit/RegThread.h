#pragma once
// Worker-thread base class: subclasses supply the body in onThreadRun.
// A plain RegThread does not wait for its thread when destroyed, so it must
// either delete itself (auto-delete) or outlive its thread.
#include "CriticalSection.h"
#include "UniqueHandle.h"

#include <windows.h>

class RegThread {
public:
  explicit RegThread(bool autoDelete);
  virtual ~RegThread();
  RegThread(const RegThread&) = delete;
  RegThread& operator=(const RegThread&) = delete;

  // True when a thread is running on return. `threadId` (may be null)
  // receives the thread's id, 0 when none could be created. A running
  // thread is reported as it is; no second one is created. On failure an
  // auto-delete object has been deleted when this returns.
  virtual bool start(DWORD* threadId = nullptr);
  // Called under m_lock before the thread is created; false cancels the start.
  virtual bool onThreadStart();
  // The thread body; runs without m_lock.
  virtual void onThreadRun() = 0;
  // Called under m_lock when a thread ran (true) or a start failed (false).
  virtual void onThreadExit(bool ran);
  // Deletes the object; always called with m_lock released.
  virtual void deleteSelf();

  void setAutoDelete(bool autoDelete);

protected:
  KernelHandle m_hThread;  // null while no thread exists
  bool m_bAutoDelete;
  DWORD m_dwThreadId = 0;
  CriticalSection m_lock;  // guards the three fields above

private:
  static DWORD WINAPI threadProc(LPVOID param);
};
