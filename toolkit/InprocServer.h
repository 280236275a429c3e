#pragma once
// The class-object entry points of an in-process server DLL, over the
// DLL's table of creatable classes:
//   STDAPI DllGetClassObject(REFCLSID c, REFIID i, void** o)
//     { return InprocServer::getClassObject(kClasses, c, i, o); }
//   STDAPI DllCanUnloadNow() { return InprocServer::canUnloadNow(); }
#include "ClassFactory.h"

#include <span>

class InprocServer {
public:
  // CLASS_E_CLASSNOTAVAILABLE for a CLSID that is not in classes.
  static HRESULT getClassObject(std::span<const ClassEntry> classes, REFCLSID clsid, REFIID iid,
                                void** out) noexcept;
  // S_OK when no object and no server lock of this module is alive.
  static HRESULT canUnloadNow() noexcept;
};
