#pragma once
// Type information of this module's own interfaces, read from the type
// library embedded in the module (the program or DLL that links the
// toolkit) and kept for the life of the process. Safe to use from any
// thread.
#include "ComPtr.h"

#include <oaidl.h>

class TypeInfoCache {
public:
  // The type information of interface iid in the module's type library
  // resource libraryIndex (1 for the first). For a dual interface this is
  // the vtable description, which ITypeInfo::Invoke needs to call the
  // interface directly.
  static HRESULT get(REFIID iid, UINT libraryIndex, ComPtr<ITypeInfo>& out) noexcept;

  // The embedded type library itself (loaded without registering it).
  static HRESULT library(UINT libraryIndex, ComPtr<ITypeLib>& out) noexcept;
};
