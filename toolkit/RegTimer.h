#pragma once
// Unnamed waitable timers behind the common wait interface.
#include "RegWait.h"

class RegTimer : public RegWait {
public:
  // Creates an unnamed timer with default security that, once armed, falls
  // due every `period` ms (0 = once); a failed create leaves the handle null.
  RegTimer(bool manualReset, LONG period) noexcept;

  // Arms the timer to fall due `delay` ms from now and then every m_period
  // ms, without completion routine and without waking a suspended machine.
  bool set(DWORD delay);
  // Disarms the timer; a tick already due stays signalled.
  bool cancel();

protected:
  LONG m_period;
};

// Synchronization timer: each due time releases one wait.
class RegAutoTimer final : public RegTimer {
public:
  explicit RegAutoTimer(LONG period) noexcept;
};

// Notification timer: stays signalled until armed again.
class RegManualTimer final : public RegTimer {
public:
  explicit RegManualTimer(LONG period) noexcept;
};
