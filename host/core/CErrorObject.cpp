#include "CErrorObject.h"

#include "CollectionValue.h"

#include <cstdint>
#include <new>

std::span<const InterfaceEntry<CErrorObject>> CErrorObject::interfaceMap() noexcept {
  static constexpr InterfaceEntry<CErrorObject> map[] = {
      interfaceEntry<CErrorObject, IErrorObject>(IID_IErrorObject),
      interfaceEntry<CErrorObject, IDispatch, IErrorObject>(IID_IDispatch),
      interfaceEntry<CErrorObject, IObjectSafety>(IID_IObjectSafety),
  };
  return map;
}

std::wstring CErrorObject::describe(std::wstring_view kind, LONG ecode, std::wstring_view etext) {
  // The head is at most 1 + 11 + 1 + 8 + 1 characters, well inside the
  // 100 that the format has always been given.
  std::wstring text(1, kind.empty() ? L'E' : kind.front());
  text += std::to_wstring(ecode);
  text += L'#';
  static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
  wchar_t hex[8];
  size_t digits = 0;
  std::uint32_t bits = static_cast<std::uint32_t>(ecode);
  do {
    hex[digits++] = kDigits[bits & 0xF];
    bits >>= 4;
  } while (bits != 0);
  while (digits > 0) text += hex[--digits];
  text += L' ';
  text += etext;
  return text;
}

HRESULT CErrorObject::read(const Bstr& text, BSTR* out) noexcept { return text.copyTo(out); }

HRESULT CErrorObject::write(BSTR text, Bstr& to) noexcept {
  try {
    to = ::SysStringLen(text) == 0 ? Bstr() : CollectionValue::copyOf(text);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CErrorObject::get_kind(BSTR* kind) noexcept { return read(m_kind, kind); }

STDMETHODIMP CErrorObject::put_kind(BSTR kind) noexcept { return write(kind, m_kind); }

STDMETHODIMP CErrorObject::get_ecode(LONG* ecode) noexcept {
  if (!ecode) return E_POINTER;
  *ecode = m_ecode;
  return S_OK;
}

STDMETHODIMP CErrorObject::put_ecode(LONG ecode) noexcept {
  m_ecode = ecode;
  return S_OK;
}

STDMETHODIMP CErrorObject::get_etext(BSTR* etext) noexcept { return read(m_etext, etext); }

STDMETHODIMP CErrorObject::put_etext(BSTR etext) noexcept { return write(etext, m_etext); }

STDMETHODIMP CErrorObject::get_Desc(BSTR* desc) noexcept {
  if (!desc) return E_POINTER;
  *desc = nullptr;
  try {
    *desc = Bstr(describe(m_kind.view(), m_ecode, m_etext.view())).detach();
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CErrorObject::get_cause(IErrorObject** cause) noexcept { return m_cause.CopyTo(cause); }

STDMETHODIMP CErrorObject::put_cause(IErrorObject* cause) noexcept {
  m_cause = cause;
  return S_OK;
}
