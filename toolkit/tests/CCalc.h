#pragma once
// The test library's Calc class, built from the toolkit's COM pieces the way
// the product's classes are: dual interface through the embedded type
// library, a second vtable interface, one connection point, object safety
// and a site, aggregatable.
#include "ComTest.h"
#include "ConnectionPoint.h"
#include "ConnectionPointContainerImpl.h"
#include "DispatchImpl.h"
#include "InterfaceMap.h"
#include "ObjectSafetyImpl.h"
#include "ObjectWithSiteImpl.h"
#include "ScriptCallback.h"

#include <span>

class CCalc : public DispatchImpl<ICalc, &IID_ICalc>,
              public ICounter,
              public ConnectionPointContainerImpl,
              public ObjectSafetyImpl,
              public ObjectWithSiteImpl {
public:
  static constexpr bool aggregatable = true;

  CCalc();
  ~CCalc();

  static std::span<const InterfaceEntry<CCalc>> interfaceMap() noexcept;

  HRESULT finalConstruct();
  void finalRelease() noexcept;

  // ICalc
  STDMETHODIMP Add(LONG a, LONG b, LONG* sum) noexcept override;
  STDMETHODIMP get_Name(BSTR* value) noexcept override;
  STDMETHODIMP put_Name(BSTR value) noexcept override;
  STDMETHODIMP Notify(LONG value, BSTR text) noexcept override;
  STDMETHODIMP SetCallback(IDispatch* callback) noexcept override;
  STDMETHODIMP CallBack(LONG value, LONG* result) noexcept override;
  STDMETHODIMP get_ProcessId(LONG* id) noexcept override;
  // ICounter
  STDMETHODIMP Count(LONG* count) noexcept override;

  ConnectionPoint& events() noexcept { return m_events; }

  // Instances alive in this process, and calls of the lifetime hooks.
  static LONG liveCount() noexcept;
  static LONG finalReleaseCount() noexcept;
  // The next finalConstruct fails with this status (tests of creation).
  static void failNextConstruct(HRESULT hr) noexcept;

private:
  ConnectionPoint m_events;
  ScriptCallback m_callback;
  Bstr m_name;
  LONG m_calls = 0;
};
