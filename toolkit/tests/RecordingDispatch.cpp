#include "RecordingDispatch.h"

#include <new>

std::span<const InterfaceEntry<RecordingDispatch>> RecordingDispatch::interfaceMap() noexcept {
  static constexpr InterfaceEntry<RecordingDispatch> map[] = {
      interfaceEntry<RecordingDispatch, IDispatch>(IID_IDispatch)};
  return map;
}

HRESULT RecordingDispatch::queryExtra(REFIID iid, void** out) noexcept {
  if (m_outgoing == IID_NULL || iid != m_outgoing) return E_NOINTERFACE;
  *out = static_cast<IDispatch*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP RecordingDispatch::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept {
  return E_NOTIMPL;
}

STDMETHODIMP RecordingDispatch::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                       VARIANT* result, EXCEPINFO*, UINT*) noexcept {
  try {
    Call call{id, flags, {}, ::GetCurrentThreadId()};
    if (params) {
      for (UINT i = params->cArgs; i > 0; --i) call.args.emplace_back(params->rgvarg[i - 1]);
    }
    long first = 0;
    const bool numeric = !call.args.empty() && SUCCEEDED(call.args.front().asLong(first));
    {
      CriticalSectionLock guard(m_lock);
      m_calls.push_back(std::move(call));
    }
    if (result && numeric) {
      ::VariantInit(result);
      V_VT(result) = VT_I4;
      V_I4(result) = first * 2;
    }
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

std::vector<RecordingDispatch::Call> RecordingDispatch::calls() const {
  CriticalSectionLock guard(m_lock);
  return m_calls;
}
