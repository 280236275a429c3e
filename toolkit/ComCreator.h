#pragma once
// Creation of a COM class T the way a class object does it: standalone, or
// inside an outer object when T is aggregatable (see ComLifetime.h).
#include "ComAggObject.h"
#include "ComObject.h"

#include <new>

template <typename T>
struct ComCreator {
  // Signature of IClassFactory::CreateInstance; never throws.
  static HRESULT createInstance(IUnknown* outer, REFIID iid, void** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    try {
      if (!outer) return ComObject<T>::createInstance(iid, out);
      // An aggregating creator must ask for the inner IUnknown.
      if (!comlifetime::aggregatable<T>() || iid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
      if constexpr (comlifetime::aggregatable<T>()) {
        ComPtr<IUnknown> inner;
        const HRESULT hr = ComAggObject<T>::create(outer, inner);
        if (FAILED(hr)) return hr;
        *out = inner.detach();
      }
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
};
