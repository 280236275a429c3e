#pragma once
// The controller's property bag: values of any kind under text keys that
// pages and plug-ins share. Keys are compared exactly (theme and Theme are
// two properties); a null key is the empty key. Values go in and come out
// as copies; a by-reference value, as scripts pass their variables, is
// stored as the value it refers to.
#include "Variant.h"

#include <oaidl.h>

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

class PropertyMap {
public:
  PropertyMap() = default;
  virtual ~PropertyMap();
  PropertyMap(const PropertyMap&) = delete;
  PropertyMap& operator=(const PropertyMap&) = delete;

  // Frees every value.
  virtual void Clear() noexcept;
  // An absent key takes a copy of the value, whatever it is; for a present
  // key, VT_EMPTY or VT_NULL removes the property and anything else
  // replaces it. E_OUTOFMEMORY when the copy cannot be made.
  virtual HRESULT Set(std::wstring_view key, const VARIANT& value) noexcept;
  // A copy of the value, VT_EMPTY when the key is absent. E_POINTER for a
  // null value.
  virtual HRESULT Get(std::wstring_view key, VARIANT* value) const noexcept;

  size_t size() const noexcept { return m_values.size(); }

private:
  std::unordered_map<std::wstring, std::unique_ptr<Variant>> m_values;
};
