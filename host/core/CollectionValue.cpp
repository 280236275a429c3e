#include "CollectionValue.h"

#include <string_view>

HRESULT CollectionValue::copyIn(const VARIANT& item, Variant& out) noexcept {
  Variant copy;
  // The SDK declares the source without const; it is only read.
  const HRESULT hr = ::VariantCopyInd(&copy, const_cast<VARIANT*>(&item));
  if (FAILED(hr)) {
    // Whatever a failed copy left behind is not ours to free.
    ::VariantInit(&copy);
    if (hr == E_OUTOFMEMORY) return hr;
  }
  out.attach(copy);
  return S_OK;
}

HRESULT CollectionValue::copyOut(const VARIANT& value, VARIANT* out) noexcept {
  if (!out) return E_POINTER;
  ::VariantInit(out);
  return ::VariantCopy(out, const_cast<VARIANT*>(&value));
}

Bstr CollectionValue::copyOf(BSTR text) {
  if (!text) return Bstr();
  return Bstr(std::wstring_view(text, ::SysStringLen(text)));
}
