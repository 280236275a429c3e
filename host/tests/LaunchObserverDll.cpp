// LaunchObserver.dll: the in-process server of the test plug-in
// LaunchObserver. The tests write its registration themselves.
#include "ComCreator.h"
#include "InprocServer.h"
#include "LaunchObserver.h"

namespace {

const ClassEntry kClasses[] = {{&LaunchObserver::kClassId, &ComCreator<LaunchObserver>::createInstance}};

}  // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  return InprocServer::getClassObject(kClasses, clsid, iid, out);
}

STDAPI DllCanUnloadNow() { return InprocServer::canUnloadNow(); }
