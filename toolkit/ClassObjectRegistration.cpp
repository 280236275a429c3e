#include "ClassObjectRegistration.h"

#include <objbase.h>

#include <new>

ClassObjectRegistration::~ClassObjectRegistration() { revokeAll(); }

HRESULT ClassObjectRegistration::registerAll(std::span<const ClassEntry> classes, DWORD context,
                                             DWORD flags) noexcept {
  try {
    m_cookies.reserve(m_cookies.size() + classes.size());
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  for (const ClassEntry& entry : classes) {
    ComPtr<IUnknown> factory;
    HRESULT hr = ClassFactory::create(entry, false, IID_IUnknown, factory.putVoid());
    DWORD cookie = 0;
    if (SUCCEEDED(hr)) hr = ::CoRegisterClassObject(*entry.clsid, factory.get(), context, flags, &cookie);
    if (FAILED(hr)) {
      revokeAll();
      return hr;
    }
    m_cookies.push_back(cookie);  // room reserved above
  }
  return S_OK;
}

void ClassObjectRegistration::revokeAll() noexcept {
  // Newest first, the reverse of registration.
  while (!m_cookies.empty()) {
    ::CoRevokeClassObject(m_cookies.back());
    m_cookies.pop_back();
  }
}
