#pragma once
// The interface table through which a COM class answers QueryInterface.
// A class T lists what it implements in
//   static std::span<const InterfaceEntry<T>> interfaceMap() noexcept;
// built from interfaceEntry<T, I>(IID_I) (or <T, I, Via> for an interface
// reached through one of T's bases, such as IDispatch through a dual
// interface). The first entry also stands for IUnknown, the object's
// identity. A class may add
//   HRESULT queryExtra(REFIID iid, void** out) noexcept;
// for interfaces not in its table (a contained object, say).
#include <unknwn.h>

#include <span>

template <typename T>
struct InterfaceEntry {
  const IID* iid;
  void* (*cast)(T* self) noexcept;
};

template <typename T, typename I, typename Via = I>
constexpr InterfaceEntry<T> interfaceEntry(const IID& iid) noexcept {
  return {&iid, [](T* self) noexcept -> void* { return static_cast<I*>(static_cast<Via*>(self)); }};
}

// The object's own IUnknown: the first interface of its table.
template <typename T>
IUnknown* identityOf(T* self) noexcept {
  return static_cast<IUnknown*>(T::interfaceMap().front().cast(self));
}

// QueryInterface over T's table. The interface handed out gets its
// reference through its own AddRef (so an aggregated object counts on its
// outer object).
template <typename T>
HRESULT queryInterfaceMap(T* self, REFIID iid, void** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IUnknown) {
    *out = identityOf(self);
  } else {
    for (const InterfaceEntry<T>& entry : T::interfaceMap()) {
      if (*entry.iid == iid) {
        *out = entry.cast(self);
        break;
      }
    }
  }
  if (!*out) {
    if constexpr (requires { self->queryExtra(iid, out); }) {
      return self->queryExtra(iid, out);
    } else {
      return E_NOINTERFACE;
    }
  }
  static_cast<IUnknown*>(*out)->AddRef();
  return S_OK;
}
