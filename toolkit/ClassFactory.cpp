#include "ClassFactory.h"

#include "ComModule.h"
#include "ComObject.h"

#include <new>

ClassFactory::ClassFactory(const ClassEntry& entry, bool keepsModule) noexcept
    : m_entry(entry), m_keepsModule(keepsModule) {
  if (m_keepsModule) ComModule::instance().lock();
}

ClassFactory::~ClassFactory() {
  if (m_keepsModule) ComModule::instance().unlock();
}

std::span<const InterfaceEntry<ClassFactory>> ClassFactory::interfaceMap() noexcept {
  static constexpr InterfaceEntry<ClassFactory> map[] = {
      interfaceEntry<ClassFactory, IClassFactory>(IID_IClassFactory)};
  return map;
}

HRESULT ClassFactory::create(const ClassEntry& entry, bool keepsModule, REFIID iid,
                             void** out) noexcept {
  try {
    return ComObject<ClassFactory>::createInstance(iid, out, entry, keepsModule);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  return m_entry.create(outer, iid, out);
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock) noexcept {
  if (lock) {
    ComModule::instance().lock();
  } else {
    ComModule::instance().unlock();
  }
  return S_OK;
}
