#include "CObjectList.h"

#include <new>

std::span<const InterfaceEntry<CObjectList>> CObjectList::interfaceMap() noexcept {
  static constexpr InterfaceEntry<CObjectList> map[] = {
      interfaceEntry<CObjectList, IObjectList>(IID_IObjectList),
      interfaceEntry<CObjectList, IDispatch, IObjectList>(IID_IDispatch),
      interfaceEntry<CObjectList, IObjectSafety>(IID_IObjectSafety),
  };
  return map;
}

Variant CObjectList::fromItem(const VARIANT& item) {
  Variant value;
  if (CollectionValue::copyIn(item, value) == E_OUTOFMEMORY) throw std::bad_alloc();
  return value;
}

HRESULT CObjectList::toItem(const Variant& value, VARIANT* out) noexcept {
  return CollectionValue::copyOut(value, out);
}
