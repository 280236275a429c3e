#pragma once
// How the automation collections take values in and hand them out. A value
// is deep-copied both ways (strings duplicated, interfaces referenced), and
// a by-reference argument, which script engines pass for their variables,
// is stored as the value it refers to: the caller's variable is gone once
// the call returns.
#include "Variant.h"

class CollectionValue {
public:
  // Replaces out by a copy of item. A value that cannot be copied (a
  // malformed variant) is kept as VT_EMPTY; only allocation failure is an
  // error (E_OUTOFMEMORY, out then unchanged).
  static HRESULT copyIn(const VARIANT& item, Variant& out) noexcept;

  // A copy of a kept value for a caller's out-parameter, which is
  // initialised first (E_POINTER for a null one).
  static HRESULT copyOut(const VARIANT& value, VARIANT* out) noexcept;

  // A copy of a string argument, null staying null (embedded nulls kept).
  // Raises std::bad_alloc.
  static Bstr copyOf(BSTR text);
};
