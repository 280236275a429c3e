#pragma once
// Late-bound calls through IDispatch. Arguments are given in their natural
// order (first argument first); they are handed to Invoke in the reverse
// order that DISPPARAMS requires.
#include "Variant.h"

#include <initializer_list>
#include <span>
#include <vector>

class DispatchCall {
public:
  // Invokes member id with flags (DISPATCH_METHOD, DISPATCH_PROPERTYGET...).
  // result may be null. A property put passes its value as the one argument.
  static HRESULT invoke(IDispatch* target, DISPID id, WORD flags, std::span<const VARIANT> args,
                        VARIANT* result = nullptr) noexcept;
  static HRESULT invoke(IDispatch* target, DISPID id, WORD flags,
                        std::initializer_list<Variant> args, VARIANT* result = nullptr) noexcept;

  // Plain copies of the VARIANT parts of args (not owning: valid while args
  // live), for the overloads that take a span. Raises std::bad_alloc.
  static std::vector<VARIANT> plainArgs(std::initializer_list<Variant> args);

  // The dispatch id of a member name (E_POINTER for a null target).
  static HRESULT idOfName(IDispatch* target, const wchar_t* name, DISPID& id) noexcept;

  // Invokes a member by name.
  static HRESULT invokeByName(IDispatch* target, const wchar_t* name, WORD flags,
                              std::initializer_list<Variant> args,
                              VARIANT* result = nullptr) noexcept;
};
