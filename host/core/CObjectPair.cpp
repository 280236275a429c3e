#include "CObjectPair.h"

#include "CollectionValue.h"

std::span<const InterfaceEntry<CObjectPair>> CObjectPair::interfaceMap() noexcept {
  static constexpr InterfaceEntry<CObjectPair> map[] = {
      interfaceEntry<CObjectPair, IObjectPair>(IID_IObjectPair),
      interfaceEntry<CObjectPair, IDispatch, IObjectPair>(IID_IDispatch),
      interfaceEntry<CObjectPair, IObjectSafety>(IID_IObjectSafety),
  };
  return map;
}

HRESULT CObjectPair::read(const Variant& from, VARIANT* out) noexcept {
  if (!out) return S_OK;
  return CollectionValue::copyOut(from, out);
}

STDMETHODIMP CObjectPair::get_key(VARIANT* key) noexcept { return read(m_key, key); }

STDMETHODIMP CObjectPair::put_key(VARIANT key) noexcept { return CollectionValue::copyIn(key, m_key); }

STDMETHODIMP CObjectPair::get_value(VARIANT* value) noexcept { return read(m_value, value); }

STDMETHODIMP CObjectPair::put_value(VARIANT value) noexcept {
  return CollectionValue::copyIn(value, m_value);
}

STDMETHODIMP CObjectPair::Clear() noexcept {
  m_key.clear();
  m_value.clear();
  return S_OK;
}

STDMETHODIMP CObjectPair::CopyFrom(IObjectPair* src) noexcept {
  if (!src) return S_OK;
  // Both are read before either changes, so a pair copied from itself
  // stays as it is.
  Variant key, value;
  HRESULT hr = src->get_key(key.put());
  if (SUCCEEDED(hr)) hr = src->get_value(value.put());
  if (FAILED(hr)) return S_OK;
  Variant newKey, newValue;
  hr = CollectionValue::copyIn(key, newKey);
  if (SUCCEEDED(hr)) hr = CollectionValue::copyIn(value, newValue);
  if (FAILED(hr)) return hr;
  m_key.attach(newKey);
  m_value.attach(newValue);
  return S_OK;
}
