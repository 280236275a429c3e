#include "CStringObjectMap.h"

std::span<const InterfaceEntry<CStringObjectMap>> CStringObjectMap::interfaceMap() noexcept {
  static constexpr InterfaceEntry<CStringObjectMap> map[] = {
      interfaceEntry<CStringObjectMap, IStringObjectMap>(IID_IStringObjectMap),
      interfaceEntry<CStringObjectMap, IDispatch, IStringObjectMap>(IID_IDispatch),
      interfaceEntry<CStringObjectMap, IObjectSafety>(IID_IObjectSafety),
  };
  return map;
}

std::wstring CStringObjectMap::keyOf(BSTR key) { return std::wstring(key, ::SysStringLen(key)); }

Variant CStringObjectMap::keyAsItem(const std::wstring& key) { return Variant(std::wstring_view(key)); }

bool CStringObjectMap::keyFromItem(const VARIANT& item, Bstr& key) noexcept {
  return SUCCEEDED(Variant::asString(item, key)) && !key.isNull();
}
