#pragma once
// StringObjectMap: variants under string keys, compared code unit by code
// unit with case (Key and key are two entries). A null key is refused.
#include "InterfaceMap.h"
#include "ObjectMapImpl.h"

#include <span>
#include <string>

class CStringObjectMap
    : public ObjectMapImpl<CStringObjectMap, IStringObjectMap, &IID_IStringObjectMap, BSTR,
                           std::wstring> {
public:
  using KeyHolder = Bstr;
  static constexpr const char* kClassName = "CStringObjectMap";

  CStringObjectMap() = default;

  static std::span<const InterfaceEntry<CStringObjectMap>> interfaceMap() noexcept;

  static bool isValidKey(BSTR key) noexcept { return key != nullptr; }
  static std::wstring keyOf(BSTR key);
  static Variant keyAsItem(const std::wstring& key);
  static bool keyFromItem(const VARIANT& item, Bstr& key) noexcept;
  static BSTR argOf(const Bstr& key) noexcept { return key.get(); }
};
