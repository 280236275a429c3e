#include "RegEvent.h"

RegEvent::RegEvent(bool manualReset, bool initialState) noexcept
    : RegWait(::CreateEventW(nullptr, manualReset, initialState, nullptr)) {}

bool RegEvent::set() {
  return m_handle && ::SetEvent(m_handle.get());
}

bool RegEvent::reset() {
  return m_handle && ::ResetEvent(m_handle.get());
}

RegAutoEvent::RegAutoEvent() noexcept : RegEvent(false, false) {}

RegManualEvent::RegManualEvent(bool initialState) noexcept : RegEvent(true, initialState) {}
