#include "HtmlWindowStub.h"

#include <new>

std::span<const InterfaceEntry<HtmlWindowStub>> HtmlWindowStub::interfaceMap() noexcept {
  static constexpr InterfaceEntry<HtmlWindowStub> map[] = {
      interfaceEntry<HtmlWindowStub, IHTMLWindow2>(IID_IHTMLWindow2),
      interfaceEntry<HtmlWindowStub, IHTMLFramesCollection2, IHTMLWindow2>(IID_IHTMLFramesCollection2),
      interfaceEntry<HtmlWindowStub, IDispatch, IHTMLWindow2>(IID_IDispatch),
  };
  return map;
}

std::vector<HtmlWindowStub::Script> HtmlWindowStub::scripts() const {
  CriticalSectionLock lock(m_lock);
  return m_scripts;
}

STDMETHODIMP HtmlWindowStub::execScript(BSTR code, BSTR language, VARIANT* result) noexcept {
  if (result) ::VariantInit(result);
  try {
    CriticalSectionLock lock(m_lock);
    m_scripts.push_back({code ? code : L"", language ? language : L""});
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return m_execResult;
}

