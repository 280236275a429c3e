#pragma once
// IConnectionPointContainer for an object whose connection points are
// ConnectionPoint members: each point adds itself here when it is
// constructed, so the object only declares them (after this base).
#include <ocidl.h>
#include <olectl.h>

#include <vector>

class ConnectionPoint;

class ConnectionPointContainerImpl : public IConnectionPointContainer {
public:
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) noexcept override;
  STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** out) noexcept override;

protected:
  ConnectionPointContainerImpl() = default;
  ~ConnectionPointContainerImpl() = default;
  ConnectionPointContainerImpl(const ConnectionPointContainerImpl&) = delete;
  ConnectionPointContainerImpl& operator=(const ConnectionPointContainerImpl&) = delete;

private:
  friend class ConnectionPoint;
  void addPoint(ConnectionPoint* point) { m_points.push_back(point); }

  std::vector<ConnectionPoint*> m_points;  // members of the same object
};
