#pragma once
// The module's COM bookkeeping: the count of live objects and server locks
// that decides when an in-process server may be unloaded and when a local
// server may end, and the handle and path of the module (the program or the
// DLL) that this code is linked into.
#include <windows.h>

#include <string>

class ComModule {
public:
  // Called when the count drops to zero. Runs on whichever thread released
  // the last object or lock.
  using IdleHandler = void (*)(void* context);

  // One per module: the toolkit is linked statically into each program and
  // DLL, so each of them has its own.
  static ComModule& instance() noexcept;

  ComModule(const ComModule&) = delete;
  ComModule& operator=(const ComModule&) = delete;

  // Objects and server locks each hold one count.
  LONG lock() noexcept;
  LONG unlock() noexcept;
  LONG lockCount() const noexcept;

  // Installed before any object exists (for example by a local server that
  // starts its shutdown wait when the last client let go); null removes it.
  void setIdleHandler(IdleHandler handler, void* context) noexcept;

  // The module that contains this code, found from an address inside it.
  static HMODULE moduleHandle() noexcept;
  // Its full path; empty when the system cannot tell.
  static std::wstring modulePath();

private:
  ComModule() noexcept = default;

  volatile LONG m_count = 0;
  IdleHandler volatile m_handler = nullptr;
  void* volatile m_context = nullptr;
};
