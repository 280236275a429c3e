#pragma once
// The members shared by the string-keyed and the integer-keyed map: a hash
// table from a key to a variant, handing out its entries, keys and values
// as new lists created by class. The maps differ only in their key: KeyArg
// is the key as the interface passes it (BSTR, LONG), Key the key as stored
// (hashable, equality-comparable), and Derived (the class itself) supplies
//   using KeyHolder;     an owned KeyArg (Bstr, LONG)
//   static constexpr const char* kClassName;      for log lines
//   static bool isValidKey(KeyArg key) noexcept;  false gives E_INVALIDARG
//   static Key keyOf(KeyArg key);                 raises std::bad_alloc
//   static Variant keyAsItem(const Key& key);     VT_BSTR or VT_I4; raises
//   static bool keyFromItem(const VARIANT& item, KeyHolder& key) noexcept;
//                                                 the conversion of CopyFrom
//   static KeyArg argOf(const KeyHolder& key) noexcept;
#include "CollectionClasses.h"
#include "CollectionValue.h"
#include "DispatchImpl.h"
#include "FrameworkLib.h"
#include "ObjectSafetyImpl.h"

#include <new>
#include <unordered_map>
#include <utility>
#include <vector>

template <typename Derived, typename Interface, const IID* Iid, typename KeyArg, typename Key>
class ObjectMapImpl : public DispatchImpl<Interface, Iid>, public ObjectSafetyImpl {
public:
  static constexpr bool aggregatable = true;

  STDMETHODIMP get_size(LONG* size) noexcept override {
    if (size) *size = static_cast<LONG>(m_entries.size());
    return S_OK;
  }

  STDMETHODIMP Get(KeyArg key, VARIANT* value) noexcept override {
    if (!Derived::isValidKey(key) || !value) return E_INVALIDARG;
    ::VariantInit(value);
    try {
      const auto found = m_entries.find(Derived::keyOf(key));
      if (found == m_entries.end()) return S_OK;
      return CollectionValue::copyOut(found->second, value);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

  STDMETHODIMP Set(KeyArg key, VARIANT value) noexcept override {
    if (!Derived::isValidKey(key)) return E_INVALIDARG;
    try {
      Variant copy;
      const HRESULT hr = CollectionValue::copyIn(value, copy);
      if (FAILED(hr)) return hr;
      m_entries.insert_or_assign(Derived::keyOf(key), std::move(copy));
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

  // One new ObjectPair per entry, each added as a VT_DISPATCH element; an
  // entry whose pair cannot be created is left out.
  STDMETHODIMP get_entries(IObjectList** entries) noexcept override {
    return makeList(entries, "entries", [](IObjectList* list, Variant& key, Variant& value) {
      ComPtr<IObjectPair> pair = CollectionClasses::newObjectPair(Derived::kClassName, "entries");
      if (!pair) return S_OK;
      HRESULT hr = pair->put_key(key);
      if (SUCCEEDED(hr)) hr = pair->put_value(value);
      if (FAILED(hr)) return hr;
      return list->Add(Variant(static_cast<IDispatch*>(pair.get())), nullptr);
    });
  }

  STDMETHODIMP get_keys(IObjectList** keys) noexcept override {
    return makeList(keys, "keys", [](IObjectList* list, Variant& key, Variant&) {
      return list->Add(key, nullptr);
    });
  }

  STDMETHODIMP get_values(IObjectList** values) noexcept override {
    return makeList(values, "values", [](IObjectList* list, Variant&, Variant& value) {
      return list->Add(value, nullptr);
    });
  }

  STDMETHODIMP Exist(KeyArg key, VARIANT_BOOL* exist) noexcept override {
    if (!Derived::isValidKey(key)) return E_INVALIDARG;
    if (!exist) return E_POINTER;
    *exist = VARIANT_FALSE;
    try {
      if (m_entries.contains(Derived::keyOf(key))) *exist = VARIANT_TRUE;
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

  STDMETHODIMP Remove(KeyArg key) noexcept override {
    if (!Derived::isValidKey(key)) return E_INVALIDARG;
    try {
      m_entries.erase(Derived::keyOf(key));
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

  STDMETHODIMP Clear() noexcept override {
    m_entries.clear();
    return S_OK;
  }

  // Sets here every entry of src (read through its entries) whose key
  // converts to this map's key; entries not in src stay.
  STDMETHODIMP CopyFrom(Interface* src) noexcept override {
    if (!src) return S_OK;
    ComPtr<IObjectList> entries;
    if (FAILED(src->get_entries(entries.put())) || !entries) return S_OK;
    LONG count = 0;
    if (FAILED(entries->get_size(&count))) return S_OK;
    for (LONG i = 0; i < count; ++i) {
      Variant item;
      if (FAILED(entries->Get(i, item.put()))) break;
      ComPtr<IObjectPair> pair = pairOf(item);
      if (!pair) continue;
      Variant key, value;
      typename Derived::KeyHolder converted{};
      if (FAILED(pair->get_key(key.put())) || !Derived::keyFromItem(key, converted)) continue;
      if (FAILED(pair->get_value(value.put()))) continue;
      const HRESULT hr = this->Set(Derived::argOf(converted), value);
      if (hr == E_OUTOFMEMORY) return hr;
    }
    return S_OK;
  }

protected:
  ObjectMapImpl() = default;
  ~ObjectMapImpl() = default;

private:
  // An element of an entries list as a pair, or null.
  static ComPtr<IObjectPair> pairOf(const Variant& item) noexcept {
    IUnknown* object = nullptr;
    if (item.type() == VT_DISPATCH) object = V_DISPATCH(&item);
    if (item.type() == VT_UNKNOWN) object = V_UNKNOWN(&item);
    ComPtr<IObjectPair> pair;
    if (object) object->QueryInterface(IID_IObjectPair, pair.putVoid());
    return pair;
  }

  // A new list filled by add(list, key, value) for every entry, in the
  // table's order. The entries are copied out first: creating the list
  // and adding to it are calls through COM, during which this map may be
  // called again and changed.
  template <typename AddEntry>
  HRESULT makeList(IObjectList** out, const char* method, AddEntry add) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    try {
      std::vector<std::pair<Variant, Variant>> snapshot;
      snapshot.reserve(m_entries.size());
      for (const auto& [key, value] : m_entries) {
        snapshot.emplace_back(Derived::keyAsItem(key), value);
      }
      ComPtr<IObjectList> list = CollectionClasses::newObjectList(Derived::kClassName, method);
      if (!list) return S_OK;
      for (auto& [key, value] : snapshot) {
        const HRESULT hr = add(list.get(), key, value);
        if (FAILED(hr)) return hr;
      }
      *out = list.detach();
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

  std::unordered_map<Key, Variant> m_entries;
};
