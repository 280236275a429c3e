#pragma once
// The framework's type library registered while a test needs it: the
// controller's interface crosses apartments (the launch-string monitor
// calls it from its own thread) through the proxies the system builds from
// the registered library, as in an installed host. The library embedded in
// the test program is registered for the machine (Wine reads no per-user
// class or library registrations) unless one is registered already, and
// only what this object registered is removed again.
#include "ComModule.h"
#include "ComPtr.h"
#include "FrameworkLib.h"
#include "Registrar.h"

#include <oleauto.h>

class FrameworkTypeLibrary {
public:
  FrameworkTypeLibrary() {
    ComPtr<ITypeLib> registered;
    if (SUCCEEDED(::LoadRegTypeLib(LIBID_FrameworkLib, 1, 0, LOCALE_NEUTRAL, registered.put()))) return;
    m_result = Registrar::registerTypeLibrary(ComModule::modulePath(), false);
    m_registered = SUCCEEDED(m_result);
  }
  ~FrameworkTypeLibrary() {
    if (m_registered) Registrar::unregisterTypeLibrary(ComModule::modulePath(), false);
  }
  FrameworkTypeLibrary(const FrameworkTypeLibrary&) = delete;
  FrameworkTypeLibrary& operator=(const FrameworkTypeLibrary&) = delete;

  // S_OK when the library is registered (by this object or before it).
  HRESULT result() const noexcept { return m_result; }

private:
  HRESULT m_result = S_OK;
  bool m_registered = false;
};
