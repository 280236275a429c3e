#include "ScriptCallback.h"

#include "DispatchCall.h"

#include <new>
#include <vector>

HRESULT ScriptCallback::set(IDispatch* function) noexcept {
  return m_entry.set(function, IID_IDispatch);
}

HRESULT ScriptCallback::setFromVariant(const VARIANT& value) noexcept {
  const VARTYPE type = V_VT(&value);
  if (type == VT_EMPTY || type == VT_NULL) {
    clear();
    return S_OK;
  }
  if (type == VT_DISPATCH) return set(V_DISPATCH(&value));
  ComPtr<IDispatch> function;
  if (FAILED(Variant::asDispatch(value, function))) return E_INVALIDARG;
  return set(function.get());
}

HRESULT ScriptCallback::toVariant(VARIANT* out) const noexcept {
  if (!out) return E_POINTER;
  ::VariantInit(out);
  ComPtr<IDispatch> function;
  const HRESULT hr = get(function);
  if (FAILED(hr)) return hr;
  V_VT(out) = VT_DISPATCH;
  V_DISPATCH(out) = function.detach();
  return S_OK;
}

HRESULT ScriptCallback::invoke(std::span<const VARIANT> args, VARIANT* result) const noexcept {
  ComPtr<IDispatch> function;
  const HRESULT hr = get(function);
  if (FAILED(hr)) return hr;
  if (!function) return S_FALSE;
  return DispatchCall::invoke(function.get(), DISPID_VALUE, DISPATCH_METHOD, args, result);
}

HRESULT ScriptCallback::invoke(std::initializer_list<Variant> args, VARIANT* result) const noexcept {
  try {
    const std::vector<VARIANT> plain = DispatchCall::plainArgs(args);
    return invoke(std::span<const VARIANT>(plain), result);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
