#pragma once
// The optional hooks of a COM class, looked up at compile time:
//   HRESULT finalConstruct();   after construction, before first use; a
//                               failure destroys the object and is returned
//   void finalRelease();        before destruction, while the object is whole
//                               (also after a failed finalConstruct)
//   static constexpr bool locksModule = false;   the object does not keep
//                               the module alive (class objects)
//   static constexpr bool aggregatable = true;   the object may be created
//                               inside an outer object
#include <windows.h>

namespace comlifetime {

template <typename T>
HRESULT finalConstruct(T& object) {
  if constexpr (requires { object.finalConstruct(); }) {
    return object.finalConstruct();
  } else {
    return S_OK;
  }
}

template <typename T>
void finalRelease(T& object) noexcept {
  if constexpr (requires { object.finalRelease(); }) object.finalRelease();
}

template <typename T>
constexpr bool locksModule() noexcept {
  if constexpr (requires { T::locksModule; }) {
    return T::locksModule;
  } else {
    return true;
  }
}

template <typename T>
constexpr bool aggregatable() noexcept {
  if constexpr (requires { T::aggregatable; }) {
    return T::aggregatable;
  } else {
    return false;
  }
}

// A reference count that no AddRef/Release pair made during destruction
// can bring back to zero.
inline constexpr LONG kDestroyingCount = 0x3fffffff;

}  // namespace comlifetime
