#pragma once
// The type-information half of IDispatch for objects that carry none:
// sites, sinks and stand-ins that are only ever called by dispatch id.
// GetIDsOfNames and Invoke stay with the object.
#include <oaidl.h>

template <typename Interface = IDispatch>
class UntypedDispatch : public Interface {
public:
  STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept override {
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }
};
