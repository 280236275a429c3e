#pragma once
// The members of IObjectList shared by the object list and the string list.
// The two differ only in what an element holds; Derived (the class itself)
// supplies that:
//   static Value fromItem(const VARIANT& item);   raises std::bad_alloc
//   static HRESULT toItem(const Value& value, VARIANT* out) noexcept;
//   static constexpr HRESULT kGetWithoutResult;   Get's status for a null
//                                                 result pointer
// Interface is IObjectList or an interface derived from it.
#include "CollectionValue.h"
#include "DispatchImpl.h"
#include "ElementArray.h"
#include "FrameworkLib.h"
#include "ObjectSafetyImpl.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

template <typename Derived, typename Interface, const IID* Iid, typename Value>
class ObjectListImpl : public DispatchImpl<Interface, Iid>, public ObjectSafetyImpl {
public:
  static constexpr bool aggregatable = true;

  // IObjectList
  STDMETHODIMP get_size(LONG* size) noexcept override {
    if (!size) return E_POINTER;
    *size = m_elements.count();
    return S_OK;
  }

  STDMETHODIMP Get(LONG pos, VARIANT* item) noexcept override {
    if (!item) return Derived::kGetWithoutResult;
    ::VariantInit(item);
    if (!m_elements.contains(pos)) return S_OK;
    return Derived::toItem(m_elements.at(pos), item);
  }

  STDMETHODIMP Set(LONG pos, VARIANT item) noexcept override {
    return replaceAt(pos, [&] { return Derived::fromItem(item); });
  }

  STDMETHODIMP Add(VARIANT item, LONG* pos) noexcept override {
    return appendMade([&] { return Derived::fromItem(item); }, pos);
  }

  STDMETHODIMP Insert(LONG pos, VARIANT item) noexcept override {
    return insertMade(pos, [&] { return Derived::fromItem(item); });
  }

  STDMETHODIMP Remove(LONG pos, LONG count) noexcept override {
    if (pos < 0 || pos >= m_elements.count() || count <= 0) return S_OK;
    // A range whose end does not fit in a position is refused as a whole,
    // like a negative count.
    const std::int64_t end = std::int64_t{pos} + count;
    if (end > ElementArray<Value>::kMaxCount) return S_OK;
    m_elements.erase(pos, static_cast<LONG>(std::min<std::int64_t>(end, m_elements.count())));
    return S_OK;
  }

  STDMETHODIMP Clear() noexcept override {
    m_elements.clear();
    return S_OK;
  }

  // Appends src's elements as read through its own size and Get, each
  // through this list's Add, so a string list converts them. The count is
  // read once: a list copied into itself doubles once.
  STDMETHODIMP CopyFrom(IObjectList* src) noexcept override {
    if (!src) return S_OK;
    LONG count = 0;
    if (FAILED(src->get_size(&count))) return S_OK;
    for (LONG i = 0; i < count; ++i) {
      Variant item;
      if (FAILED(src->Get(i, item.put()))) break;
      const HRESULT hr = this->Add(item, nullptr);
      if (FAILED(hr)) return hr;
    }
    return S_OK;
  }

protected:
  ObjectListImpl() = default;
  ~ObjectListImpl() = default;

  // The list's edits with the new value made by make() (a callable that
  // returns a Value and may raise std::bad_alloc). Allocation failure
  // leaves the list as it was and gives E_OUTOFMEMORY.

  // Replaces the element at pos; nothing outside the list.
  template <typename Make>
  HRESULT replaceAt(LONG pos, Make&& make) noexcept {
    if (!m_elements.contains(pos)) return S_OK;
    try {
      m_elements.at(pos) = make();
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

  // Appends; *pos (when given) receives the position, or -1 on failure.
  template <typename Make>
  HRESULT appendMade(Make&& make, LONG* pos) noexcept {
    if (pos) *pos = -1;
    try {
      const LONG at = m_elements.append(std::make_unique<Value>(make()));
      if (pos) *pos = at;
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

  // A negative pos counts as 0; at or past the end the value is appended.
  template <typename Make>
  HRESULT insertMade(LONG pos, Make&& make) noexcept {
    try {
      auto value = std::make_unique<Value>(make());
      if (pos < 0) pos = 0;
      if (pos < m_elements.count()) {
        m_elements.insert(pos, std::move(value));
      } else {
        m_elements.append(std::move(value));
      }
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

  ElementArray<Value> m_elements;
};
