#include "RegTimer.h"

RegTimer::RegTimer(bool manualReset, LONG period) noexcept
    : RegWait(::CreateWaitableTimerW(nullptr, manualReset, nullptr)), m_period(period) {}

bool RegTimer::set(DWORD delay) {
  if (!m_handle) return false;
  // Negative due times are relative, in 100-ns units; 64-bit arithmetic so
  // long delays do not wrap into a due time in the past.
  LARGE_INTEGER due;
  due.QuadPart = static_cast<LONGLONG>(delay) * -10000LL;
  return ::SetWaitableTimer(m_handle.get(), &due, m_period, nullptr, nullptr, FALSE);
}

bool RegTimer::cancel() {
  return m_handle && ::CancelWaitableTimer(m_handle.get());
}

RegAutoTimer::RegAutoTimer(LONG period) noexcept : RegTimer(false, period) {}

RegManualTimer::RegManualTimer(LONG period) noexcept : RegTimer(true, period) {}
