#pragma once
// A late-bound object for tests: an event sink or a script function. It
// records every Invoke (member, flags, arguments in natural order, thread)
// and answers a method call with twice its first argument.
#include "CriticalSection.h"
#include "InterfaceMap.h"
#include "UntypedDispatch.h"
#include "Variant.h"

#include <oaidl.h>

#include <span>
#include <vector>

class RecordingDispatch : public UntypedDispatch<> {
public:
  struct Call {
    DISPID id;
    WORD flags;
    std::vector<Variant> args;
    DWORD thread;
  };

  // outgoing: an event interface the object also answers (IID_NULL: none).
  explicit RecordingDispatch(const IID& outgoing = IID_NULL) noexcept : m_outgoing(outgoing) {}

  static std::span<const InterfaceEntry<RecordingDispatch>> interfaceMap() noexcept;
  HRESULT queryExtra(REFIID iid, void** out) noexcept;

  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override;
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO*, UINT*) noexcept override;

  std::vector<Call> calls() const;

private:
  const IID m_outgoing;
  mutable CriticalSection m_lock;
  std::vector<Call> m_calls;
};
