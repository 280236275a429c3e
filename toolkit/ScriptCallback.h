#pragma once
// A script function (an IDispatch handed in by a page) kept in the
// process's global interface table, so any thread of the process can call
// it: the call is marshalled to the apartment the function came from.
// Storing null clears it; the registration is revoked on destruction.
#include "GlobalInterfaceEntry.h"
#include "Variant.h"

#include <initializer_list>
#include <span>

class ScriptCallback {
public:
  // Replaces the stored function; null clears. Must be called on a thread
  // with COM initialised, in the function's own apartment.
  HRESULT set(IDispatch* function) noexcept;
  void clear() noexcept { m_entry.clear(); }
  bool isSet() const noexcept { return m_entry.isSet(); }

  // The setter of a handler property: VT_DISPATCH stores (a null object
  // clears), VT_EMPTY and VT_NULL clear, any other value is converted to
  // VT_DISPATCH and refused with E_INVALIDARG when that fails.
  HRESULT setFromVariant(const VARIANT& value) noexcept;
  // The getter: VT_DISPATCH holding the function, or a null one when none
  // is stored. E_POINTER for a null out.
  HRESULT toVariant(VARIANT* out) const noexcept;

  // The function, usable in the calling thread's apartment (null and S_OK
  // when none is stored).
  HRESULT get(ComPtr<IDispatch>& out) const noexcept { return m_entry.get(out); }

  // Calls the function as a method (dispatch id 0), arguments in natural
  // order. S_FALSE when none is stored.
  HRESULT invoke(std::span<const VARIANT> args, VARIANT* result = nullptr) const noexcept;
  HRESULT invoke(std::initializer_list<Variant> args, VARIANT* result = nullptr) const noexcept;

private:
  GlobalInterfaceEntry m_entry;
};

// Defines Class::get_Name and Class::put_Name, the getter and setter of a
// handler property kept in the ScriptCallback member `slot`.
#define MIRDEX_HANDLER_PROPERTY(Class, Name, slot)                          \
  STDMETHODIMP Class::get_##Name(VARIANT* pHandler) noexcept {             \
    return slot.toVariant(pHandler);                                        \
  }                                                                         \
  STDMETHODIMP Class::put_##Name(VARIANT newVal) noexcept { return slot.setFromVariant(newVal); }
