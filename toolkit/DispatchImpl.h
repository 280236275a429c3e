#pragma once
// IDispatch for a dual interface, answered from the type library embedded
// in this module: names and calls go through ITypeInfo, which calls the
// interface's own vtable. Derive the implementation class from
// DispatchImpl<IMyDual, &IID_IMyDual> instead of from IMyDual.
#include "TypeInfoCache.h"

#include <oaidl.h>

template <typename Interface, const IID* Iid, UINT LibraryIndex = 1>
class DispatchImpl : public Interface {
public:
  STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }

  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** out) noexcept override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    ComPtr<ITypeInfo> info;
    const HRESULT hr = TypeInfoCache::get(*Iid, LibraryIndex, info);
    if (FAILED(hr)) return hr;
    *out = info.detach();
    return S_OK;
  }

  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                             DISPID* ids) noexcept override {
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids) return E_POINTER;
    ComPtr<ITypeInfo> info;
    const HRESULT hr = TypeInfoCache::get(*Iid, LibraryIndex, info);
    if (FAILED(hr)) return hr;
    return info->GetIDsOfNames(names, count, ids);
  }

  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argError) noexcept override {
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    ComPtr<ITypeInfo> info;
    const HRESULT hr = TypeInfoCache::get(*Iid, LibraryIndex, info);
    if (FAILED(hr)) return hr;
    DISPPARAMS none = {};
    if (!params) params = &none;
    return info->Invoke(static_cast<Interface*>(this), id, flags, params, result, exception,
                        argError);
  }
};
