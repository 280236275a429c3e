#pragma once
// Owning VARIANT: cleared with VariantClear exactly once. It is a VARIANT
// (same layout), so a Variant* goes wherever a VARIANT* is expected.
#include "Bstr.h"
#include "ComPtr.h"

#include <oaidl.h>

#include <string_view>

class Variant : public VARIANT {
public:
  Variant() noexcept { ::VariantInit(this); }
  // Deep copies (strings duplicated, interfaces referenced); raise
  // std::bad_alloc when the copy cannot be allocated.
  explicit Variant(const VARIANT& source);
  Variant(const Variant& other);
  Variant(Variant&& other) noexcept;
  Variant& operator=(const Variant& other);
  Variant& operator=(Variant&& other) noexcept;
  ~Variant();

  explicit Variant(bool value) noexcept;      // VT_BOOL
  explicit Variant(int value) noexcept;       // VT_I4
  explicit Variant(long value) noexcept;      // VT_I4
  explicit Variant(unsigned long value) noexcept;  // VT_UI4
  explicit Variant(LONGLONG value) noexcept;  // VT_I8
  explicit Variant(double value) noexcept;    // VT_R8
  explicit Variant(const wchar_t* text);      // VT_BSTR (a null text stays a null BSTR)
  explicit Variant(std::wstring_view text);   // VT_BSTR
  explicit Variant(Bstr&& text) noexcept;     // VT_BSTR, taking the string over
  explicit Variant(IDispatch* object) noexcept;  // VT_DISPATCH, adds a reference
  explicit Variant(IUnknown* object) noexcept;   // VT_UNKNOWN, adds a reference

  VARTYPE type() const noexcept { return V_VT(this); }
  bool isEmpty() const noexcept { return V_VT(this) == VT_EMPTY; }
  // Empty, null, or an object variant whose pointer is null.
  bool isNothing() const noexcept;

  void clear() noexcept;
  // Clears what is held, for the out-parameter of a call that fills a VARIANT.
  VARIANT* put() noexcept;
  // Takes over the contents of source (which becomes VT_EMPTY).
  void attach(VARIANT& source) noexcept;
  // Moves the contents out to a caller's VARIANT, which must hold nothing
  // that needs clearing; this object becomes VT_EMPTY.
  void detach(VARIANT* target) noexcept;
  // Deep copy into an out-parameter: E_POINTER for a null out.
  HRESULT copyTo(VARIANT* out) const noexcept;
  // Deep copy of source into this object (E_OUTOFMEMORY when it fails;
  // this object is then empty).
  HRESULT assign(const VARIANT& source) noexcept;

  // Reads the value as another type through the standard variant
  // conversion (by-reference values are followed). The out-parameter is
  // cleared first and set only on success.
  HRESULT asString(Bstr& out, USHORT flags = 0) const noexcept;
  HRESULT asLong(long& out, USHORT flags = 0) const noexcept;
  HRESULT asBool(bool& out, USHORT flags = 0) const noexcept;
  HRESULT asDispatch(ComPtr<IDispatch>& out) const noexcept;
  static HRESULT asString(const VARIANT& v, Bstr& out, USHORT flags = 0) noexcept;
  static HRESULT asLong(const VARIANT& v, long& out, USHORT flags = 0) noexcept;
  static HRESULT asBool(const VARIANT& v, bool& out, USHORT flags = 0) noexcept;
  static HRESULT asDispatch(const VARIANT& v, ComPtr<IDispatch>& out) noexcept;

private:
  static HRESULT convert(const VARIANT& v, VARTYPE to, USHORT flags, Variant& out) noexcept;
};

static_assert(sizeof(Variant) == sizeof(VARIANT), "a Variant must stay a plain VARIANT");
