#include "TypeInfoCache.h"

#include "ComModule.h"
#include "CriticalSection.h"

#include <new>
#include <string>
#include <vector>

namespace {

struct CachedLibrary {
  UINT index;
  ComPtr<ITypeLib> library;
};

struct CachedInfo {
  IID iid;
  UINT index;
  ComPtr<ITypeInfo> info;
};

struct Cache {
  CriticalSection lock;
  std::vector<CachedLibrary> libraries;
  std::vector<CachedInfo> infos;
};

Cache& cache() {
  static Cache instance;
  return instance;
}

HRESULT loadLibrary(UINT index, ComPtr<ITypeLib>& out) {
  std::wstring path = ComModule::modulePath();
  if (path.empty()) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
  // LoadTypeLibEx reads resource n of a module when the path ends in \n.
  if (index != 1) path += L"\\" + std::to_wstring(index);
  return ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, out.put());
}

// For a dual interface the library describes the dispatch view first; the
// vtable view is the interface that implements it.
HRESULT vtableView(ComPtr<ITypeInfo>& info) {
  TYPEATTR* attr = nullptr;
  HRESULT hr = info->GetTypeAttr(&attr);
  if (FAILED(hr)) return hr;
  const bool dual = attr->typekind == TKIND_DISPATCH && (attr->wTypeFlags & TYPEFLAG_FDUAL);
  info->ReleaseTypeAttr(attr);
  if (!dual) return S_OK;
  HREFTYPE ref = 0;
  hr = info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref);
  if (FAILED(hr)) return hr;
  ComPtr<ITypeInfo> vtable;
  hr = info->GetRefTypeInfo(ref, vtable.put());
  if (FAILED(hr)) return hr;
  info = std::move(vtable);
  return S_OK;
}

}  // namespace

HRESULT TypeInfoCache::library(UINT libraryIndex, ComPtr<ITypeLib>& out) noexcept {
  out.reset();
  try {
    Cache& c = cache();
    CriticalSectionLock guard(c.lock);
    for (const CachedLibrary& entry : c.libraries) {
      if (entry.index == libraryIndex) {
        out = entry.library;
        return S_OK;
      }
    }
    ComPtr<ITypeLib> loaded;
    const HRESULT hr = loadLibrary(libraryIndex, loaded);
    if (FAILED(hr)) return hr;
    c.libraries.push_back({libraryIndex, loaded});
    out = std::move(loaded);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT TypeInfoCache::get(REFIID iid, UINT libraryIndex, ComPtr<ITypeInfo>& out) noexcept {
  out.reset();
  try {
    Cache& c = cache();
    {
      CriticalSectionLock guard(c.lock);
      for (const CachedInfo& entry : c.infos) {
        if (entry.index == libraryIndex && entry.iid == iid) {
          out = entry.info;
          return S_OK;
        }
      }
    }
    ComPtr<ITypeLib> lib;
    HRESULT hr = library(libraryIndex, lib);
    if (FAILED(hr)) return hr;
    ComPtr<ITypeInfo> info;
    hr = lib->GetTypeInfoOfGuid(iid, info.put());
    if (FAILED(hr)) return hr;
    hr = vtableView(info);
    if (FAILED(hr)) return hr;
    CriticalSectionLock guard(c.lock);
    // Another thread may have cached it meanwhile; both are equivalent.
    for (const CachedInfo& entry : c.infos) {
      if (entry.index == libraryIndex && entry.iid == iid) {
        out = entry.info;
        return S_OK;
      }
    }
    c.infos.push_back({iid, libraryIndex, info});
    out = std::move(info);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
