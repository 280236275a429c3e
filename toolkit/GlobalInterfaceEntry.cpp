#include "GlobalInterfaceEntry.h"

#include <objbase.h>

#include <utility>

GlobalInterfaceEntry::~GlobalInterfaceEntry() { clear(); }

HRESULT GlobalInterfaceEntry::set(IUnknown* object, REFIID iid) noexcept {
  ComPtr<IGlobalInterfaceTable> table;
  DWORD cookie = 0;
  if (object) {
    HRESULT hr = ::CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IGlobalInterfaceTable, table.putVoid());
    if (FAILED(hr)) return hr;
    hr = table->RegisterInterfaceInGlobal(object, iid, &cookie);
    if (FAILED(hr)) return hr;
  }
  ComPtr<IGlobalInterfaceTable> oldTable;
  DWORD oldCookie = 0;
  {
    CriticalSectionLock guard(m_lock);
    oldTable = std::exchange(m_table, table);
    oldCookie = std::exchange(m_cookie, cookie);
    m_iid = object ? iid : IID_NULL;
  }
  // Revoking releases the old object, whose Release may call out: not
  // under the lock.
  if (oldTable && oldCookie != 0) oldTable->RevokeInterfaceFromGlobal(oldCookie);
  return S_OK;
}

void GlobalInterfaceEntry::clear() noexcept { set(nullptr, IID_NULL); }

bool GlobalInterfaceEntry::isSet() const noexcept {
  CriticalSectionLock guard(m_lock);
  return m_cookie != 0;
}

HRESULT GlobalInterfaceEntry::get(void** out) const noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  ComPtr<IGlobalInterfaceTable> table;
  DWORD cookie = 0;
  IID iid = IID_NULL;
  {
    CriticalSectionLock guard(m_lock);
    table = m_table;
    cookie = m_cookie;
    iid = m_iid;
  }
  if (cookie == 0) return S_OK;
  // A concurrent set() may have revoked this cookie already; the table then
  // reports an error rather than handing out anything.
  return table->GetInterfaceFromGlobal(cookie, iid, out);
}
