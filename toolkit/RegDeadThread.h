#pragma once
// A thread object whose dead event is signalled exactly while no thread of
// it runs; its destructor waits for the thread to end.
//
// That wait runs after the subclass's destructor: by then the subclass's
// members are gone and its overrides no longer dispatch. A subclass whose
// thread may still be running when it is destroyed ends the thread in its
// own destructor (for a RegKillThread: stop(true, INFINITE)).
#include "RegEvent.h"
#include "RegThread.h"

class RegDeadThread : public RegThread {
public:
  explicit RegDeadThread(bool autoDelete);
  ~RegDeadThread() override;

  bool onThreadStart() override;
  void onThreadExit(bool ran) override;

  // Hands the object over to its thread: deletes it now and returns true
  // when no thread runs, otherwise returns false and the thread deletes it
  // when its body returns. The caller must not touch the object afterwards.
  bool detach();

protected:
  RegManualEvent m_deadEvent{true};
};
