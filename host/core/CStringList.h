#pragma once
// StringList: a list of strings, each of which may be null. It is also an
// object list: items given as variants are converted to strings with the
// standard variant conversion (an item that does not convert becomes a null
// string), and Get hands the strings out as VT_BSTR.
#include "InterfaceMap.h"
#include "ObjectListImpl.h"

#include <span>

class CStringList
    : public ObjectListImpl<CStringList, IStringList, &IID_IStringList, Bstr> {
public:
  static constexpr HRESULT kGetWithoutResult = E_POINTER;

  CStringList() = default;

  static std::span<const InterfaceEntry<CStringList>> interfaceMap() noexcept;

  static Bstr fromItem(const VARIANT& item);
  static HRESULT toItem(const Bstr& value, VARIANT* out) noexcept;

  // IStringList
  STDMETHODIMP GetStr(LONG pos, BSTR* item) noexcept override;
  STDMETHODIMP SetStr(LONG pos, BSTR item) noexcept override;
  STDMETHODIMP AddStr(BSTR item) noexcept override;
  STDMETHODIMP InsertStr(LONG pos, BSTR item) noexcept override;
  // Compared under the user's default locale, with case when exact.
  STDMETHODIMP FindStr(BSTR item, VARIANT_BOOL exact, LONG* pos) noexcept override;
};
