// MirdexUI.dll: the in-process server of the "UI" service, and its
// registration as a class and as the machine-level service entry "UI".
#include "CUiService.h"
#include "ComCreator.h"
#include "ComModule.h"
#include "InprocServer.h"
#include "Registrar.h"

#include <olectl.h>

#include <new>

namespace {

const ClassEntry kClasses[] = {{&CUiService::kClassId, &ComCreator<CUiService>::createInstance}};

using E = RegistryEntry;
using R = RegistryRoot;

// The services key belongs to the host's registration: only the "UI"
// value is this DLL's.
const RegistryEntry kRegistration[] = {
    E::string(R::ClassesRoot, L"CLSID\\%CLSID%", L"", L"Mirdex UI Service", E::kDeleteTree),
    E::string(R::ClassesRoot, L"CLSID\\%CLSID%\\InprocServer32", L"", L"%MODULE%"),
    E::string(R::ClassesRoot, L"CLSID\\%CLSID%\\InprocServer32", L"ThreadingModel", L"Apartment"),
    E::string(R::LocalMachine, L"SOFTWARE\\Mirdex\\Services", L"UI", L"CLSID:%CLSID%",
              E::kKeepKey),
};

HRESULT prepare(Registrar& registrar) noexcept {
  try {
    const std::wstring module = ComModule::modulePath();
    if (module.empty()) return HRESULT_FROM_WIN32(::GetLastError());
    registrar.addReplacement(L"MODULE", module);
    registrar.addReplacement(L"CLSID", CUiService::kClassIdText);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  return InprocServer::getClassObject(kClasses, clsid, iid, out);
}

STDAPI DllCanUnloadNow() { return InprocServer::canUnloadNow(); }

STDAPI DllRegisterServer() {
  try {
    Registrar registrar;
    const HRESULT hr = prepare(registrar);
    if (FAILED(hr)) return hr;
    return registrar.write(kRegistration);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDAPI DllUnregisterServer() {
  try {
    Registrar registrar;
    const HRESULT hr = prepare(registrar);
    if (FAILED(hr)) return hr;
    return registrar.remove(kRegistration);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
