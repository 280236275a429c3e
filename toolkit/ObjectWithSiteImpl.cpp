#include "ObjectWithSiteImpl.h"

STDMETHODIMP ObjectWithSiteImpl::SetSite(IUnknown* site) noexcept {
  m_site = site;
  return S_OK;
}

STDMETHODIMP ObjectWithSiteImpl::GetSite(REFIID iid, void** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!m_site) return E_FAIL;
  return m_site->QueryInterface(iid, out);
}
