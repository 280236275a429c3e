#include "CStringList.h"

#include <climits>
#include <new>

std::span<const InterfaceEntry<CStringList>> CStringList::interfaceMap() noexcept {
  static constexpr InterfaceEntry<CStringList> map[] = {
      interfaceEntry<CStringList, IStringList>(IID_IStringList),
      interfaceEntry<CStringList, IObjectList, IStringList>(IID_IObjectList),
      interfaceEntry<CStringList, IDispatch, IStringList>(IID_IDispatch),
      interfaceEntry<CStringList, IObjectSafety>(IID_IObjectSafety),
  };
  return map;
}

Bstr CStringList::fromItem(const VARIANT& item) {
  Bstr text;
  if (Variant::asString(item, text) == E_OUTOFMEMORY) throw std::bad_alloc();
  return text;
}

HRESULT CStringList::toItem(const Bstr& value, VARIANT* out) noexcept {
  try {
    Variant(Bstr(value)).detach(out);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CStringList::GetStr(LONG pos, BSTR* item) noexcept {
  if (!item) return E_POINTER;
  *item = nullptr;
  if (!m_elements.contains(pos)) return S_OK;
  return m_elements.at(pos).copyTo(item);
}

STDMETHODIMP CStringList::SetStr(LONG pos, BSTR item) noexcept {
  return replaceAt(pos, [&] { return CollectionValue::copyOf(item); });
}

STDMETHODIMP CStringList::AddStr(BSTR item) noexcept {
  return appendMade([&] { return CollectionValue::copyOf(item); }, nullptr);
}

STDMETHODIMP CStringList::InsertStr(LONG pos, BSTR item) noexcept {
  return insertMade(pos, [&] { return CollectionValue::copyOf(item); });
}

STDMETHODIMP CStringList::FindStr(BSTR item, VARIANT_BOOL exact, LONG* pos) noexcept {
  if (!pos) return E_POINTER;
  *pos = -1;
  const DWORD flags = exact != VARIANT_FALSE ? 0 : NORM_IGNORECASE;
  // A null string is an empty one to automation.
  constexpr UINT kLongest = static_cast<UINT>(INT_MAX);  // what the comparison takes
  const UINT wantedLength = ::SysStringLen(item);
  if (wantedLength > kLongest) return S_OK;
  for (LONG i = 0; i < m_elements.count(); ++i) {
    const Bstr& text = m_elements.at(i);
    if (text.length() > kLongest) continue;
    if (::CompareStringW(LOCALE_USER_DEFAULT, flags, text.c_str(), static_cast<int>(text.length()),
                         item ? item : L"", static_cast<int>(wantedLength)) == CSTR_EQUAL) {
      *pos = i;
      break;
    }
  }
  return S_OK;
}
