#pragma once
// IntegerObjectMap: variants under signed 32-bit keys.
#include "InterfaceMap.h"
#include "ObjectMapImpl.h"

#include <span>

class CIntegerObjectMap
    : public ObjectMapImpl<CIntegerObjectMap, IIntegerObjectMap, &IID_IIntegerObjectMap, LONG,
                           LONG> {
public:
  using KeyHolder = LONG;
  static constexpr const char* kClassName = "CIntegerObjectMap";

  CIntegerObjectMap() = default;

  static std::span<const InterfaceEntry<CIntegerObjectMap>> interfaceMap() noexcept;

  static bool isValidKey(LONG) noexcept { return true; }
  static LONG keyOf(LONG key) noexcept { return key; }
  static Variant keyAsItem(LONG key) noexcept { return Variant(key); }
  static bool keyFromItem(const VARIANT& item, LONG& key) noexcept;
  static LONG argOf(LONG key) noexcept { return key; }
};
