#pragma once
// What LaunchObserver connects to the controller: an event sink of
// _IFrameworkControllerEvents (onLaunchString, DISPID 1) that is also
// callable as a script function (DISPID 0). Each call appends one line to
// the file named by the environment variable MIRDEX_LAUNCH_OBSERVER_LOG
// (UTF-8, fields separated by tabs):
//   kind  QPC  thread  URL  scheme  path  query  age-type
// kind is "event" or "handler"; QPC the performance counter at the call;
// query its entries sorted by name as name=value, a repeated name as
// name=[a,b], joined with ';'. The fields come from the controller's
// GetLaunchString (keep) at the time of the call.
//
// When MIRDEX_LAUNCH_OBSERVER_RESTART is set, the first event call removes
// it from the host's environment and asks the controller to Restart, as the
// main page would.
//
// When MIRDEX_LAUNCH_OBSERVER_HOLD names an event, the first event call
// waits (up to a minute) until that event is set before it returns,
// keeping the host's thread busy meanwhile.
#include "InterfaceMap.h"
#include "UntypedDispatch.h"

#include <oaidl.h>

#include <span>
#include <string>

class LaunchObserverSink : public UntypedDispatch<> {
public:
  LaunchObserverSink() = default;

  static std::span<const InterfaceEntry<LaunchObserverSink>> interfaceMap() noexcept;
  HRESULT queryExtra(REFIID iid, void** out) noexcept;

  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                      UINT*) noexcept override;

private:
  static std::wstring describe(const wchar_t* kind, IDispatch* framework);
  static void append(const std::wstring& line) noexcept;
  void restart(IDispatch* framework) noexcept;

  bool m_held = false;
  bool m_restarted = false;
};
