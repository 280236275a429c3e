#pragma once
// IObjectWithSite: keeps the site its container gives it (a reference held
// until the site is replaced or cleared).
#include "ComPtr.h"

#include <ocidl.h>

class ObjectWithSiteImpl : public IObjectWithSite {
public:
  STDMETHODIMP SetSite(IUnknown* site) noexcept override;
  // E_FAIL (and a null out) when no site is set.
  STDMETHODIMP GetSite(REFIID iid, void** out) noexcept override;

  const ComPtr<IUnknown>& site() const noexcept { return m_site; }

protected:
  ObjectWithSiteImpl() = default;
  ~ObjectWithSiteImpl() = default;

private:
  ComPtr<IUnknown> m_site;
};
