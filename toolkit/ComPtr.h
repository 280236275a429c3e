#pragma once
// Owning smart pointer for COM interfaces: one reference per non-null
// pointer, released exactly once.
#include <unknwn.h>

#include <cstddef>
#include <utility>

template <typename T>
class ComPtr {
public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}
  // Takes a new reference to p.
  ComPtr(T* p) noexcept : m_p(p) {
    if (m_p) m_p->AddRef();
  }
  ComPtr(const ComPtr& other) noexcept : ComPtr(other.m_p) {}
  ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
  ~ComPtr() { reset(); }

  ComPtr& operator=(const ComPtr& other) noexcept {
    ComPtr(other).swap(*this);
    return *this;
  }
  ComPtr& operator=(ComPtr&& other) noexcept {
    ComPtr(std::move(other)).swap(*this);
    return *this;
  }
  ComPtr& operator=(T* p) noexcept {
    ComPtr(p).swap(*this);
    return *this;
  }
  ComPtr& operator=(std::nullptr_t) noexcept {
    reset();
    return *this;
  }

  T* get() const noexcept { return m_p; }
  T* operator->() const noexcept { return m_p; }
  T& operator*() const noexcept { return *m_p; }
  explicit operator bool() const noexcept { return m_p != nullptr; }

  // Releases what is held, for the out-parameter of a creating call.
  T** put() noexcept {
    reset();
    return &m_p;
  }
  void** putVoid() noexcept { return reinterpret_cast<void**>(put()); }

  void reset() noexcept {
    if (T* old = std::exchange(m_p, nullptr)) old->Release();
  }
  // Takes over a reference the caller already owns.
  void attach(T* p) noexcept {
    reset();
    m_p = p;
  }
  // Gives up ownership of the reference without releasing it.
  T* detach() noexcept { return std::exchange(m_p, nullptr); }
  void swap(ComPtr& other) noexcept { std::swap(m_p, other.m_p); }

  // Queries the held object for another interface.
  template <typename U>
  HRESULT As(REFIID iid, ComPtr<U>& out) const noexcept {
    if (!m_p) {
      out.reset();
      return E_POINTER;
    }
    return m_p->QueryInterface(iid, out.putVoid());
  }
#if defined(__MINGW32__) || defined(_MSC_VER)
  // Same, with the interface id taken from the type.
  template <typename U>
  HRESULT As(ComPtr<U>& out) const noexcept {
    return As(__uuidof(U), out);
  }
#endif

  // Hands the caller a new reference through an out-parameter.
  HRESULT CopyTo(T** out) const noexcept {
    if (!out) return E_POINTER;
    *out = m_p;
    if (m_p) m_p->AddRef();
    return S_OK;
  }
  // Same, queried for iid.
  HRESULT CopyTo(REFIID iid, void** out) const noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!m_p) return E_NOINTERFACE;
    return m_p->QueryInterface(iid, out);
  }

  friend bool operator==(const ComPtr& a, const ComPtr& b) noexcept { return a.m_p == b.m_p; }
  friend bool operator==(const ComPtr& a, const T* b) noexcept { return a.m_p == b; }
  friend bool operator==(const ComPtr& a, std::nullptr_t) noexcept { return a.m_p == nullptr; }

private:
  T* m_p = nullptr;
};

// Whether two interface pointers belong to the same COM object (compared by
// their IUnknown, as COM's identity rule requires).
inline bool sameComObject(IUnknown* a, IUnknown* b) noexcept {
  if (!a || !b) return a == b;
  ComPtr<IUnknown> ua, ub;
  if (FAILED(a->QueryInterface(IID_IUnknown, ua.putVoid()))) return false;
  if (FAILED(b->QueryInterface(IID_IUnknown, ub.putVoid()))) return false;
  return ua == ub;
}
