#pragma once
// A sink's subscription to one outgoing interface of an event source:
// advised through the source's connection point, unadvised when the object
// is destroyed or disconnect() is called. Holds the connection point (and
// so the source) while connected.
#include "ComPtr.h"

#include <ocidl.h>

class SinkConnection {
public:
  SinkConnection() = default;
  ~SinkConnection();
  SinkConnection(const SinkConnection&) = delete;
  SinkConnection& operator=(const SinkConnection&) = delete;

  // Subscribes sink to source's outgoing interface iid, after ending any
  // earlier subscription of this object. E_POINTER for a null source or
  // sink; otherwise the failure of FindConnectionPoint or Advise.
  HRESULT connect(IUnknown* source, REFIID iid, IUnknown* sink) noexcept;
  // Ends the subscription; S_OK when there is none.
  HRESULT disconnect() noexcept;

  bool connected() const noexcept { return m_cookie != 0; }
  DWORD cookie() const noexcept { return m_cookie; }

private:
  ComPtr<IConnectionPoint> m_point;
  DWORD m_cookie = 0;
};
