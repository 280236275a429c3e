#pragma once
// ObjectPair: a key and a value, both variants, as the maps hand out their
// entries.
#include "DispatchImpl.h"
#include "FrameworkLib.h"
#include "InterfaceMap.h"
#include "ObjectSafetyImpl.h"
#include "Variant.h"

#include <span>

class CObjectPair : public DispatchImpl<IObjectPair, &IID_IObjectPair>, public ObjectSafetyImpl {
public:
  static constexpr bool aggregatable = true;

  CObjectPair() = default;

  static std::span<const InterfaceEntry<CObjectPair>> interfaceMap() noexcept;

  // IObjectPair. A get with no place for the result does nothing.
  STDMETHODIMP get_key(VARIANT* key) noexcept override;
  STDMETHODIMP put_key(VARIANT key) noexcept override;
  STDMETHODIMP get_value(VARIANT* value) noexcept override;
  STDMETHODIMP put_value(VARIANT value) noexcept override;
  STDMETHODIMP Clear() noexcept override;
  STDMETHODIMP CopyFrom(IObjectPair* src) noexcept override;

private:
  static HRESULT read(const Variant& from, VARIANT* out) noexcept;

  Variant m_key;
  Variant m_value;
};
