#include "ObjectSafetyImpl.h"

#include "ComPtr.h"

bool ObjectSafetyImpl::isScriptingInterface(REFIID iid) noexcept {
  ComPtr<IUnknown> asked, dispatch;
  if (FAILED(QueryInterface(iid, asked.putVoid()))) return false;
  if (iid == IID_IDispatch) return true;
  if (FAILED(QueryInterface(IID_IDispatch, dispatch.putVoid()))) return false;
  // A dual interface and IDispatch share one vtable pointer in the object.
  return asked.get() == dispatch.get();
}

STDMETHODIMP ObjectSafetyImpl::GetInterfaceSafetyOptions(REFIID iid, DWORD* supported,
                                                         DWORD* enabled) noexcept {
  if (!supported || !enabled) return E_POINTER;
  *supported = 0;
  *enabled = 0;
  if (!isScriptingInterface(iid)) return E_NOINTERFACE;
  *supported = kSupported;
  *enabled = m_enabled;
  return S_OK;
}

STDMETHODIMP ObjectSafetyImpl::SetInterfaceSafetyOptions(REFIID iid, DWORD mask,
                                                         DWORD enabled) noexcept {
  if (!isScriptingInterface(iid)) return E_NOINTERFACE;
  if (mask & ~kSupported) return E_FAIL;
  m_enabled = (m_enabled & ~mask) | (enabled & mask);
  return S_OK;
}
