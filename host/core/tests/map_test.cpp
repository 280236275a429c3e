// The two maps (which share their members and differ in the key), the pair
// they hand their entries out in, and the lists they make by class.
#include "CIntegerObjectMap.h"
#include "CStringObjectMap.h"
#include "ComCreator.h"
#include "CollectionTestSupport.h"
#include "LogCapture.h"

#include <map>
#include <string>
#include <vector>

namespace {

using MapTest = CollectionTest;

ComPtr<IStringObjectMap> newStringMap() {
  return CollectionTest::create<IStringObjectMap>(CLSID_StringObjectMap, IID_IStringObjectMap);
}

ComPtr<IIntegerObjectMap> newIntegerMap() {
  return CollectionTest::create<IIntegerObjectMap>(CLSID_IntegerObjectMap, IID_IIntegerObjectMap);
}

std::wstring valueText(IStringObjectMap* map, const wchar_t* key) {
  Variant value;
  EXPECT_EQ(map->Get(Bstr(key).get(), value.put()), S_OK);
  return CollectionTest::textOf(value);
}

// The map's entries as "key=value" texts, in the order the list gives them,
// checking that each element is an ObjectPair of its own.
template <typename Map>
std::vector<std::wstring> entryTexts(Map* map) {
  ComPtr<IObjectList> entries;
  EXPECT_EQ(map->get_entries(entries.put()), S_OK);
  std::vector<std::wstring> texts;
  if (!entries) return texts;
  LONG size = 0;
  EXPECT_EQ(entries->get_size(&size), S_OK);
  for (LONG i = 0; i < size; ++i) {
    Variant item;
    EXPECT_EQ(entries->Get(i, item.put()), S_OK);
    EXPECT_EQ(item.type(), VT_DISPATCH);
    ComPtr<IObjectPair> pair;
    if (item.type() == VT_DISPATCH && V_DISPATCH(&item)) {
      V_DISPATCH(&item)->QueryInterface(IID_IObjectPair, pair.putVoid());
    }
    EXPECT_TRUE(pair);
    if (!pair) continue;
    Variant key, value;
    EXPECT_EQ(pair->get_key(key.put()), S_OK);
    EXPECT_EQ(pair->get_value(value.put()), S_OK);
    texts.push_back(CollectionTest::textOf(key) + L"=" + CollectionTest::textOf(value));
  }
  return texts;
}

TEST_F(MapTest, StringKeysAreCaseSensitive) {
  ComPtr<IStringObjectMap> map = newStringMap();
  ASSERT_EQ(map->Set(Bstr(L"Key").get(), Variant(1)), S_OK);
  ASSERT_EQ(map->Set(Bstr(L"key").get(), Variant(2)), S_OK);
  ASSERT_EQ(map->Set(Bstr(L"").get(), Variant(3)), S_OK);
  LONG size = 0;
  EXPECT_EQ(map->get_size(&size), S_OK);
  EXPECT_EQ(size, 3);
  EXPECT_EQ(valueText(map.get(), L"Key"), L"1");
  EXPECT_EQ(valueText(map.get(), L"key"), L"2");
  EXPECT_EQ(valueText(map.get(), L""), L"3");
  EXPECT_EQ(valueText(map.get(), L"KEY"), L"(empty)");

  // Keys are whole strings, embedded nulls included.
  const wchar_t raw[] = L"a\0b";
  Bstr withNull(std::wstring_view(raw, 3));
  ASSERT_EQ(map->Set(withNull.get(), Variant(4)), S_OK);
  EXPECT_EQ(valueText(map.get(), L"a"), L"(empty)");
  Variant value;
  EXPECT_EQ(map->Get(withNull.get(), value.put()), S_OK);
  EXPECT_EQ(textOf(value), L"4");
}

TEST_F(MapTest, SetReplacesRemoveAndClearTakeOut) {
  ComPtr<IIntegerObjectMap> map = newIntegerMap();
  for (LONG key : {-1L, 0L, LONG_MAX, LONG_MIN}) ASSERT_EQ(map->Set(key, Variant(key)), S_OK);
  ASSERT_EQ(map->Set(0, Variant(L"zero")), S_OK);
  LONG size = 0;
  EXPECT_EQ(map->get_size(&size), S_OK);
  EXPECT_EQ(size, 4);
  Variant value;
  EXPECT_EQ(map->Get(0, value.put()), S_OK);
  EXPECT_EQ(textOf(value), L"zero");
  EXPECT_EQ(map->Get(LONG_MIN, value.put()), S_OK);
  EXPECT_EQ(textOf(value), L"-2147483648");
  EXPECT_EQ(map->Get(7, value.put()), S_OK);
  EXPECT_EQ(value.type(), VT_EMPTY);

  VARIANT_BOOL exists = VARIANT_FALSE;
  EXPECT_EQ(map->Exist(-1, &exists), S_OK);
  EXPECT_EQ(exists, VARIANT_TRUE);
  EXPECT_EQ(map->Remove(-1), S_OK);
  EXPECT_EQ(map->Remove(-1), S_OK);  // absent: nothing
  EXPECT_EQ(map->Exist(-1, &exists), S_OK);
  EXPECT_EQ(exists, VARIANT_FALSE);
  EXPECT_EQ(map->get_size(&size), S_OK);
  EXPECT_EQ(size, 3);
  EXPECT_EQ(map->Clear(), S_OK);
  EXPECT_EQ(map->get_size(&size), S_OK);
  EXPECT_EQ(size, 0);
}

TEST_F(MapTest, RefusesNullKeysAndResultPointers) {
  ComPtr<IStringObjectMap> strings = newStringMap();
  ComPtr<IIntegerObjectMap> integers = newIntegerMap();
  ASSERT_EQ(strings->Set(Bstr(L"k").get(), Variant(1)), S_OK);
  Variant value;
  VARIANT_BOOL exists = VARIANT_FALSE;
  ComPtr<IObjectList> list;

  struct Case {
    const char* call;
    HRESULT actual;
    HRESULT expected;
  };
  const Case cases[] = {
      {"string Get(null key)", strings->Get(nullptr, value.put()), E_INVALIDARG},
      {"string Get(no result)", strings->Get(Bstr(L"k").get(), nullptr), E_INVALIDARG},
      {"string Set(null key)", strings->Set(nullptr, Variant(1)), E_INVALIDARG},
      {"string Exist(null key)", strings->Exist(nullptr, &exists), E_INVALIDARG},
      {"string Exist(no result)", strings->Exist(Bstr(L"k").get(), nullptr), E_POINTER},
      {"string Remove(null key)", strings->Remove(nullptr), E_INVALIDARG},
      {"string size(no result)", strings->get_size(nullptr), S_OK},
      {"string entries(no result)", strings->get_entries(nullptr), E_POINTER},
      {"string keys(no result)", strings->get_keys(nullptr), E_POINTER},
      {"string values(no result)", strings->get_values(nullptr), E_POINTER},
      {"integer Get(no result)", integers->Get(1, nullptr), E_INVALIDARG},
      {"integer Exist(no result)", integers->Exist(1, nullptr), E_POINTER},
      {"integer size(no result)", integers->get_size(nullptr), S_OK},
      {"integer entries(no result)", integers->get_entries(nullptr), E_POINTER},
      {"integer keys(no result)", integers->get_keys(nullptr), E_POINTER},
      {"integer values(no result)", integers->get_values(nullptr), E_POINTER},
  };
  for (const Case& c : cases) EXPECT_EQ(c.actual, c.expected) << c.call;
  // The refused calls changed nothing.
  LONG size = 0;
  EXPECT_EQ(strings->get_size(&size), S_OK);
  EXPECT_EQ(size, 1);
}

TEST_F(MapTest, EntriesKeysAndValuesAreNewIndependentListsInOneOrder) {
  ComPtr<IIntegerObjectMap> map = newIntegerMap();
  for (LONG key = -10; key < 30; key += 3) ASSERT_EQ(map->Set(key, Variant(key * 100)), S_OK);

  ComPtr<IObjectList> keys, values, entries, entriesAgain;
  ASSERT_EQ(map->get_keys(keys.put()), S_OK);
  ASSERT_EQ(map->get_values(values.put()), S_OK);
  ASSERT_EQ(map->get_entries(entries.put()), S_OK);
  ASSERT_EQ(map->get_entries(entriesAgain.put()), S_OK);
  ASSERT_TRUE(keys && values && entries && entriesAgain);
  EXPECT_FALSE(sameComObject(entries.get(), entriesAgain.get()));

  LONG count = 0;
  ASSERT_EQ(keys->get_size(&count), S_OK);
  ASSERT_EQ(count, 14);
  const std::vector<std::wstring> pairs = entryTexts(map.get());
  ASSERT_EQ(pairs.size(), 14u);
  for (LONG i = 0; i < count; ++i) {
    Variant key, value;
    ASSERT_EQ(keys->Get(i, key.put()), S_OK);
    ASSERT_EQ(values->Get(i, value.put()), S_OK);
    EXPECT_EQ(key.type(), VT_I4);
    EXPECT_EQ(V_I4(&value), V_I4(&key) * 100);
    EXPECT_EQ(pairs[static_cast<size_t>(i)], textOf(key) + L"=" + textOf(value));
  }

  // Changing what was handed out leaves the map alone.
  ASSERT_EQ(keys->Clear(), S_OK);
  ASSERT_EQ(values->Set(0, Variant(L"changed")), S_OK);
  Variant first;
  ASSERT_EQ(entries->Get(0, first.put()), S_OK);
  ComPtr<IObjectPair> pair;
  ASSERT_EQ(V_DISPATCH(&first)->QueryInterface(IID_IObjectPair, pair.putVoid()), S_OK);
  ASSERT_EQ(pair->put_value(Variant(L"changed")), S_OK);
  // The second entries list holds pairs of its own.
  Variant firstAgain;
  ASSERT_EQ(entriesAgain->Get(0, firstAgain.put()), S_OK);
  EXPECT_FALSE(sameComObject(V_DISPATCH(&first), V_DISPATCH(&firstAgain)));
  EXPECT_EQ(entryTexts(map.get()), pairs);
  LONG size = 0;
  EXPECT_EQ(map->get_size(&size), S_OK);
  EXPECT_EQ(size, 14);
}

TEST_F(MapTest, StringMapHandsOutKeysAsStrings) {
  ComPtr<IStringObjectMap> map = newStringMap();
  ASSERT_EQ(map->Set(Bstr(L"name").get(), Variant(L"value")), S_OK);
  ComPtr<IObjectList> keys;
  ASSERT_EQ(map->get_keys(keys.put()), S_OK);
  Variant key;
  ASSERT_EQ(keys->Get(0, key.put()), S_OK);
  EXPECT_EQ(key.type(), VT_BSTR);
  EXPECT_EQ(textOf(key), L"name");
  EXPECT_EQ(entryTexts(map.get()), std::vector<std::wstring>{L"name=value"});

  // An empty map gives empty lists, not null ones.
  ComPtr<IStringObjectMap> empty = newStringMap();
  ComPtr<IObjectList> none;
  ASSERT_EQ(empty->get_values(none.put()), S_OK);
  ASSERT_TRUE(none);
  EXPECT_EQ(contents(none.get()), L"");
}

TEST_F(MapTest, ValuesAreCopiesAndObjectsAreReferenced) {
  ComPtr<IStringObjectMap> map = newStringMap();
  Bstr mine(L"abc");
  VARIANT item;
  V_VT(&item) = VT_BSTR;
  V_BSTR(&item) = mine.get();
  ASSERT_EQ(map->Set(Bstr(L"s").get(), item), S_OK);
  mine.get()[0] = L'X';
  EXPECT_EQ(valueText(map.get(), L"s"), L"abc");

  ComPtr<IDispatch> object = create<IDispatch>(CLSID_ErrorObject, IID_IDispatch);
  ASSERT_EQ(map->Set(Bstr(L"o").get(), Variant(object.get())), S_OK);
  EXPECT_EQ(refCount(object.get()), 2u);
  ASSERT_EQ(map->Set(Bstr(L"o").get(), Variant(1)), S_OK);
  EXPECT_EQ(refCount(object.get()), 1u);
  ASSERT_EQ(map->Set(Bstr(L"o").get(), Variant(object.get())), S_OK);
  ASSERT_EQ(map->Remove(Bstr(L"o").get()), S_OK);
  EXPECT_EQ(refCount(object.get()), 1u);

  LONG number = 5;
  VARIANT byRef;
  V_VT(&byRef) = VT_BYREF | VT_I4;
  V_I4REF(&byRef) = &number;
  ASSERT_EQ(map->Set(Bstr(L"n").get(), byRef), S_OK);
  number = 6;
  Variant value;
  ASSERT_EQ(map->Get(Bstr(L"n").get(), value.put()), S_OK);
  EXPECT_EQ(value.type(), VT_I4);
  EXPECT_EQ(V_I4(&value), 5);
}

TEST_F(MapTest, CopyFromSetsConvertibleEntriesAndKeepsOthers) {
  ComPtr<IStringObjectMap> source = newStringMap();
  ASSERT_EQ(source->Set(Bstr(L"a").get(), Variant(1)), S_OK);
  ASSERT_EQ(source->Set(Bstr(L"b").get(), Variant(L"two")), S_OK);
  ComPtr<IStringObjectMap> target = newStringMap();
  ASSERT_EQ(target->Set(Bstr(L"b").get(), Variant(L"old")), S_OK);
  ASSERT_EQ(target->Set(Bstr(L"c").get(), Variant(3)), S_OK);

  ASSERT_EQ(target->CopyFrom(source.get()), S_OK);
  LONG size = 0;
  EXPECT_EQ(target->get_size(&size), S_OK);
  EXPECT_EQ(size, 3);
  EXPECT_EQ(valueText(target.get(), L"a"), L"1");
  EXPECT_EQ(valueText(target.get(), L"b"), L"two");
  EXPECT_EQ(valueText(target.get(), L"c"), L"3");

  EXPECT_EQ(target->CopyFrom(target.get()), S_OK);
  EXPECT_EQ(target->CopyFrom(nullptr), S_OK);
  EXPECT_EQ(target->get_size(&size), S_OK);
  EXPECT_EQ(size, 3);
  EXPECT_EQ(valueText(target.get(), L"b"), L"two");
}

// The integer map takes the keys that convert to a 32-bit integer from a
// source whose pairs were edited to hold other kinds of keys.
class EditedEntriesMap : public CIntegerObjectMap {
public:
  static std::span<const InterfaceEntry<EditedEntriesMap>> interfaceMap() noexcept {
    static constexpr InterfaceEntry<EditedEntriesMap> map[] = {
        interfaceEntry<EditedEntriesMap, IIntegerObjectMap>(IID_IIntegerObjectMap),
    };
    return map;
  }

  STDMETHODIMP get_entries(IObjectList** entries) noexcept override {
    const HRESULT hr = CIntegerObjectMap::get_entries(entries);
    if (FAILED(hr) || !*entries) return hr;
    LONG size = 0;
    (*entries)->get_size(&size);
    const Variant keys[] = {Variant(L"12"), Variant(L"twelve"), Variant(4.0), Variant(1e12)};
    for (LONG i = 0; i < size && i < 4; ++i) {
      Variant item;
      (*entries)->Get(i, item.put());
      ComPtr<IObjectPair> pair;
      V_DISPATCH(&item)->QueryInterface(IID_IObjectPair, pair.putVoid());
      pair->put_key(keys[i]);
    }
    // An element that is not a pair is passed over.
    (*entries)->Add(Variant(L"not a pair"), nullptr);
    return S_OK;
  }
};

TEST_F(MapTest, IntegerCopyFromConvertsKeys) {
  ComPtr<IIntegerObjectMap> source;
  ASSERT_EQ(ComCreator<EditedEntriesMap>::createInstance(nullptr, IID_IIntegerObjectMap,
                                                         source.putVoid()),
            S_OK);
  for (LONG key = 0; key < 4; ++key) ASSERT_EQ(source->Set(key, Variant(L"v")), S_OK);
  ComPtr<IIntegerObjectMap> target = newIntegerMap();
  ASSERT_EQ(target->CopyFrom(source.get()), S_OK);
  LONG size = 0;
  EXPECT_EQ(target->get_size(&size), S_OK);
  EXPECT_EQ(size, 2);
  for (LONG key : {12L, 4L}) {
    VARIANT_BOOL exists = VARIANT_FALSE;
    EXPECT_EQ(target->Exist(key, &exists), S_OK);
    EXPECT_EQ(exists, VARIANT_TRUE) << key;
  }
}

// A class object that refuses every creation. Registered in the process it
// takes precedence over any server registered for the same class, so the
// failure paths do not depend on whether Mirdex.exe is registered in the
// prefix (the process tests register it, and COM would then start it).
HRESULT refuseCreation(IUnknown*, REFIID, void** out) noexcept {
  if (out) *out = nullptr;
  return CLASS_E_CLASSNOTAVAILABLE;
}

TEST_F(MapTest, WithoutTheClassesTheListsAreNullAndLogged) {
  registration.revokeAll();
  const ClassEntry refused[] = {{&CLSID_ObjectList, &refuseCreation},
                                {&CLSID_ObjectPair, &refuseCreation}};
  ASSERT_EQ(registration.registerAll(refused), S_OK);
  ComPtr<IStringObjectMap> map;
  ASSERT_EQ(ComCreator<CStringObjectMap>::createInstance(nullptr, IID_IStringObjectMap,
                                                          map.putVoid()),
            S_OK);
  ASSERT_EQ(map->Set(Bstr(L"k").get(), Variant(1)), S_OK);
  LogCapture log;
  ComPtr<IObjectList> list;
  // A stale pointer in the out-parameter is overwritten with null.
  IObjectList* raw = reinterpret_cast<IObjectList*>(static_cast<UINT_PTR>(8));
  EXPECT_EQ(map->get_keys(&raw), S_OK);
  EXPECT_EQ(raw, nullptr);
  EXPECT_EQ(map->get_entries(list.put()), S_OK);
  EXPECT_FALSE(list);
  const auto lines = log.records("root");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].message.rfind("CStringObjectMap::keys: cannot create ObjectList E", 0), 0u)
      << lines[0].message;
  EXPECT_EQ(lines[1].message.rfind("CStringObjectMap::entries: cannot create ObjectList E", 0), 0u)
      << lines[1].message;
}

TEST_F(MapTest, EntryWhosePairCannotBeCreatedIsLeftOut) {
  registration.revokeAll();
  const ClassEntry listOnly[] = {CollectionClasses::classEntries()[0],
                                 {&CLSID_ObjectPair, &refuseCreation}};
  ASSERT_EQ(*listOnly[0].clsid, CLSID_ObjectList);
  ASSERT_EQ(registration.registerAll(listOnly), S_OK);
  ComPtr<IIntegerObjectMap> map;
  ASSERT_EQ(ComCreator<CIntegerObjectMap>::createInstance(nullptr, IID_IIntegerObjectMap,
                                                           map.putVoid()),
            S_OK);
  ASSERT_EQ(map->Set(1, Variant(1)), S_OK);
  ASSERT_EQ(map->Set(2, Variant(2)), S_OK);
  LogCapture log;
  ComPtr<IObjectList> entries;
  ASSERT_EQ(map->get_entries(entries.put()), S_OK);
  ASSERT_TRUE(entries);
  EXPECT_EQ(contents(entries.get()), L"");
  EXPECT_EQ(log.records("root").size(), 2u);
}

using PairTest = CollectionTest;

TEST_F(PairTest, KeyAndValueAreCopiesAndCopyFromTakesBoth) {
  ComPtr<IObjectPair> pair = create<IObjectPair>(CLSID_ObjectPair, IID_IObjectPair);
  Variant key, value;
  ASSERT_EQ(pair->get_key(key.put()), S_OK);
  EXPECT_EQ(key.type(), VT_EMPTY);
  ASSERT_EQ(pair->put_key(Variant(L"k")), S_OK);
  ASSERT_EQ(pair->put_value(Variant(9)), S_OK);
  // No place for the result: nothing happens.
  EXPECT_EQ(pair->get_key(nullptr), S_OK);
  EXPECT_EQ(pair->get_value(nullptr), S_OK);

  ComPtr<IObjectPair> other = create<IObjectPair>(CLSID_ObjectPair, IID_IObjectPair);
  ASSERT_EQ(other->CopyFrom(pair.get()), S_OK);
  ASSERT_EQ(pair->put_value(Variant(10)), S_OK);
  ASSERT_EQ(other->get_key(key.put()), S_OK);
  ASSERT_EQ(other->get_value(value.put()), S_OK);
  EXPECT_EQ(textOf(key), L"k");
  EXPECT_EQ(textOf(value), L"9");

  EXPECT_EQ(other->CopyFrom(nullptr), S_OK);
  EXPECT_EQ(other->CopyFrom(other.get()), S_OK);
  ASSERT_EQ(other->get_value(value.put()), S_OK);
  EXPECT_EQ(textOf(value), L"9");

  EXPECT_EQ(other->Clear(), S_OK);
  ASSERT_EQ(other->get_key(key.put()), S_OK);
  ASSERT_EQ(other->get_value(value.put()), S_OK);
  EXPECT_EQ(key.type(), VT_EMPTY);
  EXPECT_EQ(value.type(), VT_EMPTY);
}

}  // namespace
