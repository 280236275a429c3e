#include "SinkConnection.h"

#include <utility>

SinkConnection::~SinkConnection() { disconnect(); }

HRESULT SinkConnection::connect(IUnknown* source, REFIID iid, IUnknown* sink) noexcept {
  disconnect();
  if (!source || !sink) return E_POINTER;
  ComPtr<IConnectionPointContainer> container;
  HRESULT hr = source->QueryInterface(IID_IConnectionPointContainer, container.putVoid());
  if (FAILED(hr)) return hr;
  ComPtr<IConnectionPoint> point;
  hr = container->FindConnectionPoint(iid, point.put());
  if (FAILED(hr)) return hr;
  DWORD cookie = 0;
  hr = point->Advise(sink, &cookie);
  if (FAILED(hr)) return hr;
  m_point = std::move(point);
  m_cookie = cookie;
  return S_OK;
}

HRESULT SinkConnection::disconnect() noexcept {
  ComPtr<IConnectionPoint> point = std::move(m_point);
  const DWORD cookie = std::exchange(m_cookie, 0);
  if (!point || cookie == 0) return S_OK;
  return point->Unadvise(cookie);
}
