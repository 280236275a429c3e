#include "CCalc.h"

#include "DispatchCall.h"

namespace {
volatile LONG g_live = 0;
volatile LONG g_finalReleases = 0;
volatile LONG g_failNext = S_OK;
}  // namespace

CCalc::CCalc() : m_events(*this, DIID__ICalcEvents) { ::InterlockedIncrement(&g_live); }

CCalc::~CCalc() { ::InterlockedDecrement(&g_live); }

std::span<const InterfaceEntry<CCalc>> CCalc::interfaceMap() noexcept {
  static constexpr InterfaceEntry<CCalc> map[] = {
      interfaceEntry<CCalc, ICalc>(IID_ICalc),
      interfaceEntry<CCalc, IDispatch, ICalc>(IID_IDispatch),
      interfaceEntry<CCalc, ICounter>(IID_ICounter),
      interfaceEntry<CCalc, IConnectionPointContainer>(IID_IConnectionPointContainer),
      interfaceEntry<CCalc, IObjectSafety>(IID_IObjectSafety),
      interfaceEntry<CCalc, IObjectWithSite>(IID_IObjectWithSite),
  };
  return map;
}

HRESULT CCalc::finalConstruct() { return ::InterlockedExchange(&g_failNext, S_OK); }

void CCalc::finalRelease() noexcept { ::InterlockedIncrement(&g_finalReleases); }

STDMETHODIMP CCalc::Add(LONG a, LONG b, LONG* sum) noexcept {
  if (!sum) return E_POINTER;
  ++m_calls;
  *sum = a + b;
  return S_OK;
}

STDMETHODIMP CCalc::get_Name(BSTR* value) noexcept { return m_name.copyTo(value); }

STDMETHODIMP CCalc::put_Name(BSTR value) noexcept {
  try {
    m_name = Bstr(std::wstring_view(value ? value : L"", ::SysStringLen(value)));
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CCalc::Notify(LONG value, BSTR text) noexcept {
  ++m_calls;
  VARIANT args[2];
  V_VT(&args[0]) = VT_I4;
  V_I4(&args[0]) = value;
  V_VT(&args[1]) = VT_BSTR;
  V_BSTR(&args[1]) = text;
  return m_events.fire(1, std::span<const VARIANT>(args));
}

STDMETHODIMP CCalc::SetCallback(IDispatch* callback) noexcept { return m_callback.set(callback); }

STDMETHODIMP CCalc::CallBack(LONG value, LONG* result) noexcept {
  if (!result) return E_POINTER;
  *result = 0;
  Variant out;
  const HRESULT hr = m_callback.invoke({Variant(value)}, out.put());
  if (FAILED(hr)) return hr;
  long number = 0;
  if (SUCCEEDED(out.asLong(number))) *result = number;
  return hr;
}

STDMETHODIMP CCalc::get_ProcessId(LONG* id) noexcept {
  if (!id) return E_POINTER;
  *id = static_cast<LONG>(::GetCurrentProcessId());
  return S_OK;
}

STDMETHODIMP CCalc::Count(LONG* count) noexcept {
  if (!count) return E_POINTER;
  *count = m_calls;
  return S_OK;
}

LONG CCalc::liveCount() noexcept { return ::InterlockedCompareExchange(&g_live, 0, 0); }

LONG CCalc::finalReleaseCount() noexcept {
  return ::InterlockedCompareExchange(&g_finalReleases, 0, 0);
}

void CCalc::failNextConstruct(HRESULT hr) noexcept { ::InterlockedExchange(&g_failNext, hr); }
