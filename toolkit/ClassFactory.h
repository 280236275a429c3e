#pragma once
// The class object of one creatable class. A local server's class objects
// are held by COM while registered and must not keep the server running, so
// they count on the module only through LockServer; an in-process server's
// class object is held by its client, and keeps the DLL loaded while it
// lives.
#include "ComPtr.h"
#include "InterfaceMap.h"

#include <span>

// One creatable class of a module: its CLSID and the creating function
// (ComCreator<T>::createInstance).
struct ClassEntry {
  const CLSID* clsid;
  HRESULT (*create)(IUnknown* outer, REFIID iid, void** out) noexcept;
};

class ClassFactory : public IClassFactory {
public:
  // Counted on the module by the constructor when asked, not by ComObject.
  static constexpr bool locksModule = false;

  ClassFactory(const ClassEntry& entry, bool keepsModule) noexcept;
  ~ClassFactory();
  ClassFactory(const ClassFactory&) = delete;
  ClassFactory& operator=(const ClassFactory&) = delete;

  static std::span<const InterfaceEntry<ClassFactory>> interfaceMap() noexcept;

  // A new class object for entry, queried for iid.
  static HRESULT create(const ClassEntry& entry, bool keepsModule, REFIID iid,
                        void** out) noexcept;

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) noexcept override;
  STDMETHODIMP LockServer(BOOL lock) noexcept override;

private:
  ClassEntry m_entry;
  bool m_keepsModule;
};
