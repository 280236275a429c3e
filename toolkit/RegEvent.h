#pragma once
// Unnamed kernel events behind the common wait interface.
#include "RegWait.h"

class RegEvent : public RegWait {
public:
  // Creates an unnamed event with default security; on failure the handle
  // stays null and every operation reports false.
  RegEvent(bool manualReset, bool initialState) noexcept;

  virtual bool set();
  virtual bool reset();
};

// Auto-reset event, created non-signalled.
class RegAutoEvent final : public RegEvent {
public:
  RegAutoEvent() noexcept;
};

// Manual-reset event with the given initial state.
class RegManualEvent final : public RegEvent {
public:
  explicit RegManualEvent(bool initialState) noexcept;
};
