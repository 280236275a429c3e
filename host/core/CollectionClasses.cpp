#include "CollectionClasses.h"

#include "CErrorObject.h"
#include "CIntegerObjectMap.h"
#include "CObjectList.h"
#include "CObjectPair.h"
#include "CStringList.h"
#include "CStringObjectMap.h"
#include "ComCreator.h"
#include "Logger.h"
#include "LoggerManager.h"
#include "StatusText.h"

namespace {

Logger* logger() noexcept {
  static Logger* const root = LoggerManager::get(nullptr);
  return root;
}

template <typename Interface>
ComPtr<Interface> newByClass(const CLSID& clsid, const IID& iid, const char* className,
                             const char* owner, const char* method) noexcept {
  ComPtr<Interface> object;
  const HRESULT hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_ALL, iid, object.putVoid());
  if (FAILED(hr) || !object) {
    object.reset();
    try {
      logger()->error("%s::%s: cannot create %s %s", owner, method, className,
                      StatusText(FAILED(hr) ? hr : E_NOINTERFACE).c_str());
    } catch (...) {
      // The status text could not be made; the null result still tells.
    }
  }
  return object;
}

}  // namespace

std::span<const ClassEntry> CollectionClasses::classEntries() noexcept {
  static constexpr ClassEntry entries[] = {
      {&CLSID_ObjectList, &ComCreator<CObjectList>::createInstance},
      {&CLSID_StringList, &ComCreator<CStringList>::createInstance},
      {&CLSID_ObjectPair, &ComCreator<CObjectPair>::createInstance},
      {&CLSID_StringObjectMap, &ComCreator<CStringObjectMap>::createInstance},
      {&CLSID_IntegerObjectMap, &ComCreator<CIntegerObjectMap>::createInstance},
      {&CLSID_ErrorObject, &ComCreator<CErrorObject>::createInstance},
  };
  return entries;
}

ComPtr<IObjectList> CollectionClasses::newObjectList(const char* owner, const char* method) noexcept {
  return newByClass<IObjectList>(CLSID_ObjectList, IID_IObjectList, "ObjectList", owner, method);
}

ComPtr<IObjectPair> CollectionClasses::newObjectPair(const char* owner, const char* method) noexcept {
  return newByClass<IObjectPair>(CLSID_ObjectPair, IID_IObjectPair, "ObjectPair", owner, method);
}

ComPtr<IStringObjectMap> CollectionClasses::newStringObjectMap(const char* owner, const char* method) noexcept {
  return newByClass<IStringObjectMap>(CLSID_StringObjectMap, IID_IStringObjectMap, "StringObjectMap", owner,
                                      method);
}
