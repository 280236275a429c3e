#include "ConnectionPointContainerImpl.h"

#include "ComPtr.h"
#include "ConnectionPoint.h"
#include "SnapshotEnum.h"

#include <new>

namespace {

struct PointsTraits {
  using Interface = IEnumConnectionPoints;
  static constexpr const IID* kIid = &IID_IEnumConnectionPoints;
  using Item = ComPtr<IConnectionPoint>;
  using Out = IConnectionPoint*;
  static HRESULT copyOut(const Item& item, IConnectionPoint** out) noexcept {
    return item.CopyTo(out);
  }
  static void clearOut(IConnectionPoint** out) noexcept {
    if (*out) (*out)->Release();
    *out = nullptr;
  }
};

}  // namespace

STDMETHODIMP ConnectionPointContainerImpl::EnumConnectionPoints(IEnumConnectionPoints** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  try {
    SnapshotEnum<PointsTraits>::Items items(m_points.begin(), m_points.end());
    return SnapshotEnum<PointsTraits>::create(std::move(items), out);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP ConnectionPointContainerImpl::FindConnectionPoint(REFIID iid,
                                                               IConnectionPoint** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  for (ConnectionPoint* point : m_points) {
    if (point->iid() == iid) {
      *out = point;
      point->AddRef();
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}
