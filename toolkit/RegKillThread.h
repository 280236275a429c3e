#pragma once
// A thread object that can be asked to end: its body includes m_killEvent
// in its waits and returns when it is signalled.
#include "RegDeadThread.h"

class RegKillThread : public RegDeadThread {
public:
  explicit RegKillThread(bool autoDelete);
  // Asks the thread to end and waits for it.
  ~RegKillThread() override;

  // Clears a stale stop request, then starts as RegThread does.
  bool start(DWORD* threadId = nullptr) override;
  // Signals m_killEvent. Without `wait` returns at once (true unless the
  // request could not be signalled); with `wait`, true when the thread has
  // ended within `timeout` ms.
  virtual bool stop(bool wait, DWORD timeout);

protected:
  RegManualEvent m_killEvent{false};
};
