#pragma once
// A heap COM object: T (the implementation class, which derives from its
// interfaces and declares an interface map, see InterfaceMap.h) completed
// with IUnknown. The count is thread-safe; the object deletes itself when it
// reaches zero. While it lives it holds one count on the module.
#include "ComLifetime.h"
#include "ComModule.h"
#include "ComPtr.h"
#include "InterfaceMap.h"

#include <new>
#include <utility>

template <typename T>
class ComObject final : public T {
public:
  template <typename... Args>
  explicit ComObject(Args&&... args) : T(std::forward<Args>(args)...) {
    if constexpr (comlifetime::locksModule<T>()) ComModule::instance().lock();
  }
  ~ComObject() {
    m_refs = comlifetime::kDestroyingCount;
    comlifetime::finalRelease<T>(*this);
    if constexpr (comlifetime::locksModule<T>()) ComModule::instance().unlock();
  }
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override {
    return queryInterfaceMap<T>(this, iid, out);
  }
  STDMETHODIMP_(ULONG) AddRef() noexcept override {
    return static_cast<ULONG>(::InterlockedIncrement(&m_refs));
  }
  STDMETHODIMP_(ULONG) Release() noexcept override {
    const LONG refs = ::InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
  }

  // Constructs the object, runs finalConstruct and hands out the first
  // reference. E_OUTOFMEMORY when it cannot be allocated.
  template <typename... Args>
  static HRESULT create(ComPtr<ComObject>& out, Args&&... args) {
    out.reset();
    ComPtr<ComObject> object(new (std::nothrow) ComObject(std::forward<Args>(args)...));
    if (!object) return E_OUTOFMEMORY;
    const HRESULT hr = comlifetime::finalConstruct<T>(*object);
    if (FAILED(hr)) return hr;
    out = std::move(object);
    return S_OK;
  }

  // Same, queried for iid into a raw out-parameter.
  template <typename... Args>
  static HRESULT createInstance(REFIID iid, void** out, Args&&... args) {
    if (!out) return E_POINTER;
    *out = nullptr;
    ComPtr<ComObject> object;
    const HRESULT hr = create(object, std::forward<Args>(args)...);
    if (FAILED(hr)) return hr;
    return object->QueryInterface(iid, out);
  }

private:
  volatile LONG m_refs = 0;
};
