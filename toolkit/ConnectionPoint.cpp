#include "ConnectionPoint.h"

#include "ConnectionPointContainerImpl.h"
#include "DispatchCall.h"
#include "SnapshotEnum.h"

#include <algorithm>
#include <new>

namespace {

struct ConnectionsTraits {
  using Interface = IEnumConnections;
  static constexpr const IID* kIid = &IID_IEnumConnections;
  struct Item {
    ComPtr<IUnknown> sink;
    DWORD cookie;
  };
  using Out = CONNECTDATA;
  static HRESULT copyOut(const Item& item, CONNECTDATA* out) noexcept {
    out->pUnk = item.sink.get();
    out->dwCookie = item.cookie;
    if (out->pUnk) out->pUnk->AddRef();
    return S_OK;
  }
  static void clearOut(CONNECTDATA* out) noexcept {
    if (out->pUnk) out->pUnk->Release();
    out->pUnk = nullptr;
  }
};

}  // namespace

ConnectionPoint::ConnectionPoint(ConnectionPointContainerImpl& container, const IID& iid)
    : m_container(container), m_iid(iid) {
  container.addPoint(this);
}

ConnectionPoint::~ConnectionPoint() = default;

STDMETHODIMP ConnectionPoint::QueryInterface(REFIID iid, void** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid != IID_IUnknown && iid != IID_IConnectionPoint) return E_NOINTERFACE;
  *out = static_cast<IConnectionPoint*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) ConnectionPoint::AddRef() noexcept { return m_container.AddRef(); }

STDMETHODIMP_(ULONG) ConnectionPoint::Release() noexcept { return m_container.Release(); }

STDMETHODIMP ConnectionPoint::GetConnectionInterface(IID* iid) noexcept {
  if (!iid) return E_POINTER;
  *iid = m_iid;
  return S_OK;
}

STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out) noexcept {
  if (!out) return E_POINTER;
  *out = &m_container;
  m_container.AddRef();
  return S_OK;
}

STDMETHODIMP ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) noexcept {
  if (cookie) *cookie = 0;
  if (!sink || !cookie) return E_POINTER;
  ComPtr<IUnknown> outgoing;
  if (FAILED(sink->QueryInterface(m_iid, outgoing.putVoid()))) return CONNECT_E_CANNOTCONNECT;
  try {
    CriticalSectionLock guard(m_lock);
    const DWORD assigned = m_nextCookie++;
    if (m_nextCookie == 0) m_nextCookie = 1;  // 0 never names a connection
    m_connections.push_back({assigned, std::move(outgoing)});
    *cookie = assigned;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie) noexcept {
  ComPtr<IUnknown> released;
  {
    CriticalSectionLock guard(m_lock);
    auto it = std::find_if(m_connections.begin(), m_connections.end(),
                           [cookie](const Connection& c) { return c.cookie == cookie; });
    if (cookie == 0 || it == m_connections.end()) return CONNECT_E_NOCONNECTION;
    released = std::move(it->sink);
    m_connections.erase(it);
  }
  // The sink is released outside the lock: its Release may call back.
  return S_OK;
}

STDMETHODIMP ConnectionPoint::EnumConnections(IEnumConnections** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  try {
    SnapshotEnum<ConnectionsTraits>::Items items;
    {
      CriticalSectionLock guard(m_lock);
      items.reserve(m_connections.size());
      for (const Connection& c : m_connections) items.push_back({c.sink, c.cookie});
    }
    return SnapshotEnum<ConnectionsTraits>::create(std::move(items), out);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

size_t ConnectionPoint::connectionCount() const noexcept {
  CriticalSectionLock guard(m_lock);
  return m_connections.size();
}

std::vector<ComPtr<IUnknown>> ConnectionPoint::sinks() const {
  std::vector<ComPtr<IUnknown>> out;
  CriticalSectionLock guard(m_lock);
  out.reserve(m_connections.size());
  for (const Connection& c : m_connections) out.push_back(c.sink);
  return out;
}

HRESULT ConnectionPoint::fire(DISPID id, std::span<const VARIANT> args) noexcept {
  std::vector<ComPtr<IUnknown>> targets;
  try {
    targets = sinks();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  HRESULT first = S_OK;
  for (const ComPtr<IUnknown>& sink : targets) {
    // Advise queried the sink for the dispinterface, which is an IDispatch.
    const HRESULT hr =
        DispatchCall::invoke(static_cast<IDispatch*>(sink.get()), id, DISPATCH_METHOD, args);
    if (FAILED(hr) && SUCCEEDED(first)) first = hr;
  }
  return first;
}

HRESULT ConnectionPoint::fire(DISPID id, std::initializer_list<Variant> args) noexcept {
  try {
    const std::vector<VARIANT> plain = DispatchCall::plainArgs(args);
    return fire(id, std::span<const VARIANT>(plain));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

void ConnectionPoint::disconnectAll() noexcept {
  std::vector<Connection> dropped;
  {
    CriticalSectionLock guard(m_lock);
    dropped.swap(m_connections);
  }
}
