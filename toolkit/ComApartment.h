#pragma once
// COM initialised for the current thread for the life of the object, and
// uninitialised again only if this object's initialisation counted.
#include <objbase.h>

class ComApartment {
public:
  // COINIT_APARTMENTTHREADED for a single-threaded apartment (windows,
  // page objects), COINIT_MULTITHREADED for worker threads.
  explicit ComApartment(DWORD model = COINIT_APARTMENTTHREADED) noexcept
      : m_hr(::CoInitializeEx(nullptr, model)) {}
  ~ComApartment() {
    if (SUCCEEDED(m_hr)) ::CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

  // S_OK, S_FALSE (already initialised the same way), or the failure, such
  // as RPC_E_CHANGED_MODE when the thread is in the other kind of apartment.
  HRESULT result() const noexcept { return m_hr; }
  bool ok() const noexcept { return SUCCEEDED(m_hr); }

private:
  HRESULT m_hr;
};
