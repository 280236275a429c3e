#pragma once
// Shared pieces of the collection tests: a single-threaded apartment with
// the collection classes registered the way the host registers them (for
// multiple use as a local server, which makes them creatable in-process by
// class too), creation by class, and readable contents of a list.
#include "ClassObjectRegistration.h"
#include "CollectionClasses.h"
#include "ComApartment.h"
#include "ComModule.h"
#include "Variant.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

class CollectionTest : public testing::Test {
public:
  // An object of clsid created through COM, as any client creates it.
  template <typename Interface>
  static ComPtr<Interface> create(const CLSID& clsid, const IID& iid) {
    ComPtr<Interface> object;
    EXPECT_EQ(::CoCreateInstance(clsid, nullptr, CLSCTX_ALL, iid, object.putVoid()), S_OK);
    return object;
  }

  static ComPtr<IObjectList> newList(const CLSID& clsid) {
    return create<IObjectList>(clsid, IID_IObjectList);
  }

  // Appends each text as a VT_BSTR item.
  static void fill(IObjectList* list, std::initializer_list<const wchar_t*> texts) {
    for (const wchar_t* text : texts) ASSERT_EQ(list->Add(Variant(text), nullptr), S_OK);
  }

  // An element for comparison: its text, "(empty)" or "(null)".
  static std::wstring textOf(const VARIANT& item) {
    if (V_VT(&item) == VT_EMPTY) return L"(empty)";
    if (V_VT(&item) == VT_BSTR && !V_BSTR(&item)) return L"(null)";
    Bstr text;
    if (FAILED(Variant::asString(item, text))) return L"(?)";
    return text.str();
  }

  // The elements' texts joined with commas.
  static std::wstring contents(IObjectList* list) {
    LONG size = -1;
    EXPECT_EQ(list->get_size(&size), S_OK);
    std::wstring joined;
    for (LONG i = 0; i < size; ++i) {
      Variant item;
      EXPECT_EQ(list->Get(i, item.put()), S_OK);
      if (i > 0) joined += L',';
      joined += textOf(item);
    }
    return joined;
  }

protected:
  void SetUp() override {
    ASSERT_TRUE(apartment.ok());
    locksBefore = ComModule::instance().lockCount();
    ASSERT_EQ(registration.registerAll(CollectionClasses::classEntries()), S_OK);
  }
  void TearDown() override {
    registration.revokeAll();
    // Every object a test made is gone again: nothing leaked a reference.
    EXPECT_EQ(ComModule::instance().lockCount(), locksBefore);
  }

  ComApartment apartment;
  ClassObjectRegistration registration;
  LONG locksBefore = 0;
};

// The current reference count of an object, by an AddRef/Release pair.
template <typename T>
ULONG refCount(T* object) {
  object->AddRef();
  return object->Release();
}
