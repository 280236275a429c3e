#include "DispatchCall.h"

#include <cstring>
#include <new>
#include <vector>

namespace {

// The EXCEPINFO a callee fills in: the strings in it are the caller's to
// free.
struct ReportedException : EXCEPINFO {
  ReportedException() noexcept : EXCEPINFO{} {}
  ReportedException(const ReportedException&) = delete;
  ReportedException& operator=(const ReportedException&) = delete;
  ~ReportedException() {
    ::SysFreeString(bstrSource);
    ::SysFreeString(bstrDescription);
    ::SysFreeString(bstrHelpFile);
  }
};

}  // namespace

HRESULT DispatchCall::invoke(IDispatch* target, DISPID id, WORD flags,
                             std::span<const VARIANT> args, VARIANT* result) noexcept {
  if (!target) return E_POINTER;
  try {
    // Shallow copies: Invoke only reads its in-arguments.
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID namedPut = DISPID_PROPERTYPUT;
    DISPPARAMS params = {};
    params.rgvarg = reversed.empty() ? nullptr : reversed.data();
    params.cArgs = static_cast<UINT>(reversed.size());
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
      // The value of a property put is passed as the named argument.
      params.rgdispidNamedArgs = &namedPut;
      params.cNamedArgs = 1;
    }
    if (result) ::VariantInit(result);
    ReportedException exception;
    UINT argError = 0;
    const HRESULT hr = target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                                      &exception, &argError);
    if (hr != DISP_E_EXCEPTION) return hr;
    // A callee may leave the details to be filled in on demand.
    if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
    if (FAILED(exception.scode)) return exception.scode;
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

std::vector<VARIANT> DispatchCall::plainArgs(std::initializer_list<Variant> args) {
  std::vector<VARIANT> plain;
  plain.reserve(args.size());
  for (const Variant& v : args) plain.push_back(static_cast<const VARIANT&>(v));
  return plain;
}

HRESULT DispatchCall::invoke(IDispatch* target, DISPID id, WORD flags,
                             std::initializer_list<Variant> args, VARIANT* result) noexcept {
  try {
    const std::vector<VARIANT> plain = plainArgs(args);
    return invoke(target, id, flags, std::span<const VARIANT>(plain), result);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT DispatchCall::idOfName(IDispatch* target, const wchar_t* name, DISPID& id) noexcept {
  id = DISPID_UNKNOWN;
  if (!target || !name) return E_POINTER;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  return target->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
}

HRESULT DispatchCall::invokeByName(IDispatch* target, const wchar_t* name, WORD flags,
                                   std::initializer_list<Variant> args, VARIANT* result) noexcept {
  DISPID id = DISPID_UNKNOWN;
  const HRESULT hr = idOfName(target, name, id);
  if (FAILED(hr)) return hr;
  return invoke(target, id, flags, args, result);
}
