#include "Variant.h"

#include <cstring>
#include <new>

namespace {

// Some SDK headers declare the source of VariantCopy and VariantChangeType
// without const; the calls only read it.
VARIANT* sourceOf(const VARIANT& v) noexcept { return const_cast<VARIANT*>(&v); }

}  // namespace

Variant::Variant(const VARIANT& source) : Variant() {
  if (assign(source) == E_OUTOFMEMORY) throw std::bad_alloc();
}

Variant::Variant(const Variant& other) : Variant(static_cast<const VARIANT&>(other)) {}

Variant::Variant(Variant&& other) noexcept {
  std::memcpy(static_cast<VARIANT*>(this), static_cast<VARIANT*>(&other), sizeof(VARIANT));
  ::VariantInit(&other);
}

Variant& Variant::operator=(const Variant& other) {
  if (this != &other) {
    Variant copy(other);
    *this = std::move(copy);
  }
  return *this;
}

Variant& Variant::operator=(Variant&& other) noexcept {
  if (this != &other) attach(other);
  return *this;
}

Variant::~Variant() { clear(); }

Variant::Variant(bool value) noexcept : Variant() {
  V_VT(this) = VT_BOOL;
  V_BOOL(this) = value ? VARIANT_TRUE : VARIANT_FALSE;
}

Variant::Variant(int value) noexcept : Variant(static_cast<long>(value)) {}

Variant::Variant(long value) noexcept : Variant() {
  V_VT(this) = VT_I4;
  V_I4(this) = value;
}

Variant::Variant(unsigned long value) noexcept : Variant() {
  V_VT(this) = VT_UI4;
  V_UI4(this) = value;
}

Variant::Variant(LONGLONG value) noexcept : Variant() {
  V_VT(this) = VT_I8;
  V_I8(this) = value;
}

Variant::Variant(double value) noexcept : Variant() {
  V_VT(this) = VT_R8;
  V_R8(this) = value;
}

Variant::Variant(const wchar_t* text) : Variant(Bstr(text)) {}

Variant::Variant(std::wstring_view text) : Variant(Bstr(text)) {}

Variant::Variant(Bstr&& text) noexcept : Variant() {
  V_VT(this) = VT_BSTR;
  V_BSTR(this) = text.detach();
}

Variant::Variant(IDispatch* object) noexcept : Variant() {
  V_VT(this) = VT_DISPATCH;
  V_DISPATCH(this) = object;
  if (object) object->AddRef();
}

Variant::Variant(IUnknown* object) noexcept : Variant() {
  V_VT(this) = VT_UNKNOWN;
  V_UNKNOWN(this) = object;
  if (object) object->AddRef();
}

bool Variant::isNothing() const noexcept {
  switch (V_VT(this)) {
    case VT_EMPTY:
    case VT_NULL:
      return true;
    case VT_DISPATCH:
      return V_DISPATCH(this) == nullptr;
    case VT_UNKNOWN:
      return V_UNKNOWN(this) == nullptr;
    default:
      return false;
  }
}

void Variant::clear() noexcept {
  // VariantClear refuses some malformed variants; whatever it left is
  // forgotten rather than freed twice.
  ::VariantClear(this);
  ::VariantInit(this);
}

VARIANT* Variant::put() noexcept {
  clear();
  return this;
}

void Variant::attach(VARIANT& source) noexcept {
  if (&source == static_cast<VARIANT*>(this)) return;
  clear();
  std::memcpy(static_cast<VARIANT*>(this), &source, sizeof(VARIANT));
  ::VariantInit(&source);
}

void Variant::detach(VARIANT* target) noexcept {
  if (!target) return;
  std::memcpy(target, static_cast<VARIANT*>(this), sizeof(VARIANT));
  ::VariantInit(this);
}

HRESULT Variant::copyTo(VARIANT* out) const noexcept {
  if (!out) return E_POINTER;
  ::VariantInit(out);
  return ::VariantCopy(out, sourceOf(*this));
}

HRESULT Variant::assign(const VARIANT& source) noexcept {
  if (&source == static_cast<const VARIANT*>(this)) return S_OK;
  Variant copy;
  const HRESULT hr = ::VariantCopy(&copy, sourceOf(source));
  if (FAILED(hr)) {
    clear();
    return hr;
  }
  attach(copy);
  return S_OK;
}

HRESULT Variant::convert(const VARIANT& v, VARTYPE to, USHORT flags, Variant& out) noexcept {
  // VariantChangeType follows VT_BYREF sources itself.
  return ::VariantChangeType(&out, sourceOf(v), flags, to);
}

HRESULT Variant::asString(const VARIANT& v, Bstr& out, USHORT flags) noexcept {
  out.reset();
  Variant r;
  const HRESULT hr = convert(v, VT_BSTR, flags, r);
  if (FAILED(hr)) return hr;
  out.reset(V_BSTR(&r));
  V_VT(&r) = VT_EMPTY;
  return S_OK;
}

HRESULT Variant::asLong(const VARIANT& v, long& out, USHORT flags) noexcept {
  Variant r;
  const HRESULT hr = convert(v, VT_I4, flags, r);
  if (FAILED(hr)) return hr;
  out = V_I4(&r);
  return S_OK;
}

HRESULT Variant::asBool(const VARIANT& v, bool& out, USHORT flags) noexcept {
  Variant r;
  const HRESULT hr = convert(v, VT_BOOL, flags, r);
  if (FAILED(hr)) return hr;
  out = V_BOOL(&r) != VARIANT_FALSE;
  return S_OK;
}

HRESULT Variant::asDispatch(const VARIANT& v, ComPtr<IDispatch>& out) noexcept {
  out.reset();
  Variant r;
  const HRESULT hr = convert(v, VT_DISPATCH, 0, r);
  if (FAILED(hr)) return hr;
  out.attach(V_DISPATCH(&r));
  V_VT(&r) = VT_EMPTY;
  return S_OK;
}

HRESULT Variant::asString(Bstr& out, USHORT flags) const noexcept { return asString(*this, out, flags); }
HRESULT Variant::asLong(long& out, USHORT flags) const noexcept { return asLong(*this, out, flags); }
HRESULT Variant::asBool(bool& out, USHORT flags) const noexcept { return asBool(*this, out, flags); }
HRESULT Variant::asDispatch(ComPtr<IDispatch>& out) const noexcept { return asDispatch(*this, out); }
