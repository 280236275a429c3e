#pragma once
// IObjectSafety for scriptable objects: the object's automation interfaces
// (IDispatch and the dual interfaces that are its IDispatch) are declared
// safe for untrusted callers and untrusted data; any other interface is
// refused, so a script host never marks it safe by accident.
#include <objsafe.h>

class ObjectSafetyImpl : public IObjectSafety {
public:
  static constexpr DWORD kSupported =
      INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;

  STDMETHODIMP GetInterfaceSafetyOptions(REFIID iid, DWORD* supported,
                                         DWORD* enabled) noexcept override;
  // E_FAIL when asked to enable an option that is not supported.
  STDMETHODIMP SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled) noexcept override;

protected:
  ObjectSafetyImpl() = default;
  ~ObjectSafetyImpl() = default;

private:
  // Whether iid is answered by the object with its IDispatch.
  bool isScriptingInterface(REFIID iid) noexcept;

  DWORD m_enabled = 0;
};
