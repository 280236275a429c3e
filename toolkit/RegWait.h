#pragma once
// Root of the waitable kernel objects. Objects are always destroyed through
// their own type, so there is deliberately no virtual destructor; the
// concrete leaf classes are final to keep it that way.
#include "UniqueHandle.h"

#include <windows.h>

class RegWait {
public:
  // Takes ownership of `handle` (may be null: every operation then fails).
  explicit RegWait(HANDLE handle = nullptr) noexcept;
  ~RegWait() = default;
  RegWait(const RegWait&) = delete;
  RegWait& operator=(const RegWait&) = delete;

  // True only when the object was signalled within `timeout` ms
  // (false on time-out, abandonment or failure).
  virtual bool wait(DWORD timeout);
  // The same wait, dispatching the calling thread's window messages
  // meanwhile. A timeout of 0 is a plain wait(0).
  virtual bool msgWait(DWORD timeout);

  HANDLE handle() const noexcept { return m_handle.get(); }

protected:
  KernelHandle m_handle;
};
