#include "InprocServer.h"

#include "ComModule.h"

HRESULT InprocServer::getClassObject(std::span<const ClassEntry> classes, REFCLSID clsid,
                                     REFIID iid, void** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  for (const ClassEntry& entry : classes) {
    if (*entry.clsid == clsid) return ClassFactory::create(entry, true, iid, out);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT InprocServer::canUnloadNow() noexcept {
  return ComModule::instance().lockCount() == 0 ? S_OK : S_FALSE;
}
