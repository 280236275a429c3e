#include "PropertyMap.h"

#include "CollectionValue.h"

#include <new>

PropertyMap::~PropertyMap() = default;

void PropertyMap::Clear() noexcept { m_values.clear(); }

HRESULT PropertyMap::Set(std::wstring_view key, const VARIANT& value) noexcept {
  try {
    auto copy = std::make_unique<Variant>();
    const HRESULT hr = CollectionValue::copyIn(value, *copy);
    if (FAILED(hr)) return hr;
    std::wstring name(key);
    const auto found = m_values.find(name);
    if (found == m_values.end()) {
      m_values.emplace(std::move(name), std::move(copy));
    } else if (copy->type() == VT_EMPTY || copy->type() == VT_NULL) {
      m_values.erase(found);
    } else {
      found->second = std::move(copy);
    }
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT PropertyMap::Get(std::wstring_view key, VARIANT* value) const noexcept {
  if (!value) return E_POINTER;
  ::VariantInit(value);
  try {
    const auto found = m_values.find(std::wstring(key));
    if (found == m_values.end()) return S_OK;
    return CollectionValue::copyOut(*found->second, value);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
