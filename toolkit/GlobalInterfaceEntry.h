#pragma once
// One interface registered in the process's global interface table, so
// that any thread of the process can obtain it (marshalled into the
// caller's apartment). Replacing or clearing the entry, or destroying this
// object, revokes the registration. Safe to use from several threads.
#include "ComPtr.h"
#include "CriticalSection.h"

#include <objidl.h>

class GlobalInterfaceEntry {
public:
  GlobalInterfaceEntry() = default;
  ~GlobalInterfaceEntry();
  GlobalInterfaceEntry(const GlobalInterfaceEntry&) = delete;
  GlobalInterfaceEntry& operator=(const GlobalInterfaceEntry&) = delete;

  // Registers object as interface iid (object must be that interface), in
  // place of what was registered before; null clears. Called on a thread
  // with COM initialised, in the object's own apartment. The interface must
  // be marshallable: IDispatch and the system's interfaces are; a dual
  // interface of our own needs its type library registered.
  HRESULT set(IUnknown* object, REFIID iid) noexcept;
  void clear() noexcept;
  bool isSet() const noexcept;

  // The registered interface for use in the calling thread's apartment;
  // null and S_OK when nothing is registered.
  HRESULT get(void** out) const noexcept;
  template <typename T>
  HRESULT get(ComPtr<T>& out) const noexcept {
    return get(out.putVoid());
  }

private:
  mutable CriticalSection m_lock;
  ComPtr<IGlobalInterfaceTable> m_table;  // free-threaded, usable from any thread
  DWORD m_cookie = 0;
  IID m_iid = IID_NULL;
};
