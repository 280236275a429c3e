#pragma once
// A COM object created as part of an outer object (aggregation). The outer
// object holds this object's own, non-delegating IUnknown; every interface
// of T handed out delegates IUnknown to the outer object, so clients see one
// identity and one reference count.
#include "ComLifetime.h"
#include "ComModule.h"
#include "ComPtr.h"
#include "InterfaceMap.h"

#include <new>
#include <utility>

template <typename T>
class ComAggObject final : public IUnknown {
public:
  template <typename... Args>
  explicit ComAggObject(IUnknown* outer, Args&&... args)
      : m_contained(outer, std::forward<Args>(args)...) {
    if constexpr (comlifetime::locksModule<T>()) ComModule::instance().lock();
  }
  ~ComAggObject() {
    m_refs = comlifetime::kDestroyingCount;
    comlifetime::finalRelease<T>(m_contained);
    if constexpr (comlifetime::locksModule<T>()) ComModule::instance().unlock();
  }
  ComAggObject(const ComAggObject&) = delete;
  ComAggObject& operator=(const ComAggObject&) = delete;

  // The non-delegating IUnknown that the outer object keeps.
  STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown) {
      *out = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    return queryInterfaceMap<T>(&m_contained, iid, out);
  }
  STDMETHODIMP_(ULONG) AddRef() noexcept override {
    return static_cast<ULONG>(::InterlockedIncrement(&m_refs));
  }
  STDMETHODIMP_(ULONG) Release() noexcept override {
    const LONG refs = ::InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
  }

  T& object() noexcept { return m_contained; }

  // Creates the inner object for outer and hands out its non-delegating
  // IUnknown (the only interface an aggregating creator may ask for).
  template <typename... Args>
  static HRESULT create(IUnknown* outer, ComPtr<IUnknown>& inner, Args&&... args) {
    inner.reset();
    if (!outer) return E_INVALIDARG;
    ComPtr<ComAggObject> object(new (std::nothrow) ComAggObject(outer, std::forward<Args>(args)...));
    if (!object) return E_OUTOFMEMORY;
    const HRESULT hr = comlifetime::finalConstruct<T>(object->m_contained);
    if (FAILED(hr)) return hr;
    inner = static_cast<IUnknown*>(object.get());
    return S_OK;
  }

private:
  // T with IUnknown forwarded to the outer object.
  class Contained final : public T {
  public:
    template <typename... Args>
    explicit Contained(IUnknown* outer, Args&&... args)
        : T(std::forward<Args>(args)...), m_outer(outer) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override {
      return m_outer->QueryInterface(iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return m_outer->AddRef(); }
    STDMETHODIMP_(ULONG) Release() noexcept override { return m_outer->Release(); }

  private:
    IUnknown* m_outer;  // not owned: the outer object owns us
  };

  volatile LONG m_refs = 0;
  Contained m_contained;
};
