#include "CIntegerObjectMap.h"

std::span<const InterfaceEntry<CIntegerObjectMap>> CIntegerObjectMap::interfaceMap() noexcept {
  static constexpr InterfaceEntry<CIntegerObjectMap> map[] = {
      interfaceEntry<CIntegerObjectMap, IIntegerObjectMap>(IID_IIntegerObjectMap),
      interfaceEntry<CIntegerObjectMap, IDispatch, IIntegerObjectMap>(IID_IDispatch),
      interfaceEntry<CIntegerObjectMap, IObjectSafety>(IID_IObjectSafety),
  };
  return map;
}

bool CIntegerObjectMap::keyFromItem(const VARIANT& item, LONG& key) noexcept {
  long number = 0;
  if (FAILED(Variant::asLong(item, number))) return false;
  key = number;
  return true;
}
