#pragma once
// A COM enumerator (IEnumConnections, IEnumConnectionPoints, ...) over a
// snapshot taken when it was created: later changes of the source do not
// disturb an enumeration in progress. Clones share the snapshot.
//
// Traits describe one kind of enumerator:
//   using Interface = IEnumX;           static constexpr const IID* kIid;
//   using Item = (owning stored item);  using Out = (the element of Next);
//   static HRESULT copyOut(const Item&, Out*) noexcept;  // a new reference
//   static void clearOut(Out*) noexcept;                 // undoes copyOut
#include "ComObject.h"
#include "InterfaceMap.h"

#include <memory>
#include <span>
#include <vector>

template <typename Traits>
class SnapshotEnum : public Traits::Interface {
public:
  using Item = typename Traits::Item;
  using Out = typename Traits::Out;
  using Items = std::vector<Item>;

  explicit SnapshotEnum(std::shared_ptr<const Items> items, size_t position = 0) noexcept
      : m_items(std::move(items)), m_position(position) {}

  static std::span<const InterfaceEntry<SnapshotEnum>> interfaceMap() noexcept {
    static constexpr InterfaceEntry<SnapshotEnum> map[] = {
        interfaceEntry<SnapshotEnum, typename Traits::Interface>(*Traits::kIid)};
    return map;
  }

  // A new enumerator over items, queried for the enumerator's interface.
  static HRESULT create(Items items, typename Traits::Interface** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    auto shared = std::make_shared<const Items>(std::move(items));
    return ComObject<SnapshotEnum>::createInstance(*Traits::kIid, reinterpret_cast<void**>(out),
                                                   std::move(shared));
  }

  STDMETHODIMP Next(ULONG count, Out* items, ULONG* fetched) noexcept override {
    if (fetched) *fetched = 0;
    if (!items || (count > 1 && !fetched)) return E_POINTER;
    ULONG done = 0;
    while (done < count && m_position < m_items->size()) {
      const HRESULT hr = Traits::copyOut((*m_items)[m_position], &items[done]);
      if (FAILED(hr)) {
        while (done > 0) Traits::clearOut(&items[--done]);
        return hr;
      }
      ++done;
      ++m_position;
    }
    if (fetched) *fetched = done;
    return done == count ? S_OK : S_FALSE;
  }

  STDMETHODIMP Skip(ULONG count) noexcept override {
    const size_t left = m_items->size() - m_position;
    if (count > left) {
      m_position = m_items->size();
      return S_FALSE;
    }
    m_position += count;
    return S_OK;
  }

  STDMETHODIMP Reset() noexcept override {
    m_position = 0;
    return S_OK;
  }

  STDMETHODIMP Clone(typename Traits::Interface** out) noexcept override {
    if (!out) return E_POINTER;
    *out = nullptr;
    try {
      return ComObject<SnapshotEnum>::createInstance(*Traits::kIid,
                                                     reinterpret_cast<void**>(out), m_items,
                                                     m_position);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

private:
  std::shared_ptr<const Items> m_items;
  size_t m_position;
};
