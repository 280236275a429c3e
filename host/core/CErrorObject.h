#pragma once
// ErrorObject: an error record of a kind, a code and a text, with the error
// that caused it. An empty kind or text reads as null.
#include "Bstr.h"
#include "ComPtr.h"
#include "DispatchImpl.h"
#include "FrameworkLib.h"
#include "InterfaceMap.h"
#include "ObjectSafetyImpl.h"

#include <span>
#include <string>
#include <string_view>

class CErrorObject : public DispatchImpl<IErrorObject, &IID_IErrorObject>, public ObjectSafetyImpl {
public:
  static constexpr bool aggregatable = true;

  CErrorObject() = default;

  static std::span<const InterfaceEntry<CErrorObject>> interfaceMap() noexcept;

  // "<first character of kind, or E><ecode>#<ecode in hex> <etext>", as
  // in N5#5 timeout.
  static std::wstring describe(std::wstring_view kind, LONG ecode, std::wstring_view etext);

  // IErrorObject
  STDMETHODIMP get_kind(BSTR* kind) noexcept override;
  STDMETHODIMP put_kind(BSTR kind) noexcept override;
  STDMETHODIMP get_ecode(LONG* ecode) noexcept override;
  STDMETHODIMP put_ecode(LONG ecode) noexcept override;
  STDMETHODIMP get_etext(BSTR* etext) noexcept override;
  STDMETHODIMP put_etext(BSTR etext) noexcept override;
  STDMETHODIMP get_Desc(BSTR* desc) noexcept override;
  STDMETHODIMP get_cause(IErrorObject** cause) noexcept override;
  STDMETHODIMP put_cause(IErrorObject* cause) noexcept override;

private:
  static HRESULT read(const Bstr& text, BSTR* out) noexcept;
  static HRESULT write(BSTR text, Bstr& to) noexcept;

  Bstr m_kind;  // never an empty non-null string
  LONG m_ecode = 0;
  Bstr m_etext;  // the same
  ComPtr<IErrorObject> m_cause;
};
