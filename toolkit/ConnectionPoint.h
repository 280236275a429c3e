#pragma once
// One outgoing interface of a connectable object: keeps the sinks that
// clients advise (each under its own cookie) and calls them. A member of the
// object, not a heap object of its own: its AddRef and Release count on the
// containing object, so a client holding the point keeps the object alive.
#include "ComPtr.h"
#include "CriticalSection.h"
#include "Variant.h"

#include <ocidl.h>
#include <olectl.h>

#include <initializer_list>
#include <span>
#include <vector>

class ConnectionPointContainerImpl;

class ConnectionPoint final : public IConnectionPoint {
public:
  // iid is the outgoing interface (typically a dispinterface).
  ConnectionPoint(ConnectionPointContainerImpl& container, const IID& iid);
  ~ConnectionPoint();
  ConnectionPoint(const ConnectionPoint&) = delete;
  ConnectionPoint& operator=(const ConnectionPoint&) = delete;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override;
  STDMETHODIMP_(ULONG) AddRef() noexcept override;
  STDMETHODIMP_(ULONG) Release() noexcept override;

  STDMETHODIMP GetConnectionInterface(IID* iid) noexcept override;
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) noexcept override;
  // The sink is queried for the outgoing interface; CONNECT_E_CANNOTCONNECT
  // when it does not implement it.
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) noexcept override;
  // CONNECT_E_NOCONNECTION for a cookie that is not connected.
  STDMETHODIMP Unadvise(DWORD cookie) noexcept override;
  STDMETHODIMP EnumConnections(IEnumConnections** out) noexcept override;

  const IID& iid() const noexcept { return m_iid; }
  size_t connectionCount() const noexcept;
  // The sinks connected now, each as queried for the outgoing interface.
  std::vector<ComPtr<IUnknown>> sinks() const;

  // Calls member id (DISPATCH_METHOD) of every sink of a dispinterface
  // point, arguments in natural order. Sinks connected or disconnected by a
  // sink during the call take effect from the next event. S_OK when every
  // sink succeeded (or there are none); otherwise the first failure, after
  // all sinks were called.
  HRESULT fire(DISPID id, std::span<const VARIANT> args) noexcept;
  HRESULT fire(DISPID id, std::initializer_list<Variant> args) noexcept;

  // Drops every connection (an object that is shutting down).
  void disconnectAll() noexcept;

private:
  struct Connection {
    DWORD cookie;
    ComPtr<IUnknown> sink;
  };

  IConnectionPointContainer& m_container;
  const IID m_iid;
  mutable CriticalSection m_lock;
  std::vector<Connection> m_connections;
  DWORD m_nextCookie = 1;
};
