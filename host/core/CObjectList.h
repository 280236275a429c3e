#pragma once
// ObjectList: an ordered list of variants for pages, plug-ins and outside
// programs. Each element is a copy of what was given (strings duplicated,
// interfaces referenced) and is copied again on the way out.
#include "InterfaceMap.h"
#include "ObjectListImpl.h"

#include <span>

class CObjectList
    : public ObjectListImpl<CObjectList, IObjectList, &IID_IObjectList, Variant> {
public:
  static constexpr HRESULT kGetWithoutResult = E_INVALIDARG;

  CObjectList() = default;

  static std::span<const InterfaceEntry<CObjectList>> interfaceMap() noexcept;

  static Variant fromItem(const VARIANT& item);
  static HRESULT toItem(const Variant& value, VARIANT* out) noexcept;
};
