// The object list and the string list: their shared editing rules run on
// both classes, then what each does with its own kind of element.
#include "CollectionTestSupport.h"
#include "ElementArray.h"

#include <climits>
#include <memory>
#include <string>

namespace {

struct ListClass {
  const char* name;
  const CLSID* clsid;
};

const ListClass kListClasses[] = {
    {"ObjectList", &CLSID_ObjectList},
    {"StringList", &CLSID_StringList},
};

using ListTest = CollectionTest;

TEST_F(ListTest, RemoveFollowsItsRangeRules) {
  struct Case {
    LONG pos;
    LONG count;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {1, 1, L"A,C,D,E"},
      {3, 10, L"A,B,C"},
      {0, 5, L""},
      {4, 1, L"A,B,C,D"},
      {0, 2, L"C,D,E"},
      {1, 3, L"A,E"},
      {5, 1, L"A,B,C,D,E"},
      {-1, 2, L"A,B,C,D,E"},
      {0, 0, L"A,B,C,D,E"},
      {2, -3, L"A,B,C,D,E"},
      // An end past the largest position is refused like a negative count.
      {2, LONG_MAX, L"A,B,C,D,E"},
      {1, LONG_MAX, L"A,B,C,D,E"},
      {0, LONG_MAX, L""},
      {LONG_MIN, 3, L"A,B,C,D,E"},
  };
  for (const ListClass& kind : kListClasses) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << kind.name << " Remove(" << c.pos << ", " << c.count << ")");
      ComPtr<IObjectList> list = newList(*kind.clsid);
      fill(list.get(), {L"A", L"B", L"C", L"D", L"E"});
      EXPECT_EQ(list->Remove(c.pos, c.count), S_OK);
      EXPECT_EQ(contents(list.get()), c.expected);
      // What is left is still a working list.
      EXPECT_EQ(list->Insert(0, Variant(L"Z")), S_OK);
      EXPECT_EQ(contents(list.get()), std::wstring(L"Z") + (*c.expected ? L"," : L"") + c.expected);
    }
  }
}

TEST_F(ListTest, InsertClampsPosition) {
  struct Case {
    std::initializer_list<const wchar_t*> before;
    LONG pos;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {{L"A"}, -5, L"X,A"},
      {{L"A"}, 7, L"A,X"},
      {{L"A"}, 0, L"X,A"},
      {{L"A"}, 1, L"A,X"},
      {{L"A", L"B", L"C"}, 1, L"A,X,B,C"},
      {{L"A", L"B", L"C"}, 2, L"A,B,X,C"},
      {{}, 3, L"X"},
      {{}, LONG_MIN, L"X"},
  };
  for (const ListClass& kind : kListClasses) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << kind.name << " Insert(" << c.pos << ")");
      ComPtr<IObjectList> list = newList(*kind.clsid);
      fill(list.get(), c.before);
      EXPECT_EQ(list->Insert(c.pos, Variant(L"X")), S_OK);
      EXPECT_EQ(contents(list.get()), c.expected);
    }
  }
}

TEST_F(ListTest, GetAndSetOutsideTheListDoNothing) {
  for (const ListClass& kind : kListClasses) {
    SCOPED_TRACE(kind.name);
    ComPtr<IObjectList> list = newList(*kind.clsid);
    fill(list.get(), {L"A", L"B", L"C"});
    for (LONG pos : {3L, -1L, LONG_MAX, LONG_MIN}) {
      Variant item(L"stale");
      EXPECT_EQ(list->Get(pos, item.put()), S_OK);
      EXPECT_EQ(item.type(), VT_EMPTY) << pos;
      EXPECT_EQ(list->Set(pos, Variant(L"X")), S_OK);
    }
    EXPECT_EQ(contents(list.get()), L"A,B,C");
    EXPECT_EQ(list->Set(1, Variant(L"X")), S_OK);
    EXPECT_EQ(contents(list.get()), L"A,X,C");
  }
}

TEST_F(ListTest, NullResultPointers) {
  ComPtr<IObjectList> objects = newList(CLSID_ObjectList);
  ComPtr<IStringList> strings = create<IStringList>(CLSID_StringList, IID_IStringList);
  fill(objects.get(), {L"A"});
  fill(strings.get(), {L"A"});
  EXPECT_EQ(objects->get_size(nullptr), E_POINTER);
  EXPECT_EQ(strings->get_size(nullptr), E_POINTER);
  // The two lists answer a Get without a place for the result differently.
  EXPECT_EQ(objects->Get(0, nullptr), E_INVALIDARG);
  EXPECT_EQ(strings->Get(0, nullptr), E_POINTER);
  EXPECT_EQ(strings->GetStr(0, nullptr), E_POINTER);
  EXPECT_EQ(strings->FindStr(Bstr(L"A").get(), VARIANT_TRUE, nullptr), E_POINTER);
  // Add may be told not to report the position.
  EXPECT_EQ(objects->Add(Variant(L"B"), nullptr), S_OK);
  EXPECT_EQ(strings->Add(Variant(L"B"), nullptr), S_OK);
  EXPECT_EQ(contents(objects.get()), L"A,B");
  EXPECT_EQ(contents(strings.get()), L"A,B");
}

TEST_F(ListTest, AddReportsPositionsAndClearEmpties) {
  for (const ListClass& kind : kListClasses) {
    SCOPED_TRACE(kind.name);
    ComPtr<IObjectList> list = newList(*kind.clsid);
    for (LONG expected = 0; expected < 20; ++expected) {
      LONG pos = -7;
      ASSERT_EQ(list->Add(Variant(expected), &pos), S_OK);
      EXPECT_EQ(pos, expected);
    }
    Variant item;
    ASSERT_EQ(list->Get(19, item.put()), S_OK);
    EXPECT_EQ(textOf(item), L"19");
    EXPECT_EQ(list->Clear(), S_OK);
    LONG size = -1;
    EXPECT_EQ(list->get_size(&size), S_OK);
    EXPECT_EQ(size, 0);
    LONG pos = -7;
    EXPECT_EQ(list->Add(Variant(L"again"), &pos), S_OK);
    EXPECT_EQ(pos, 0);
  }
}

TEST_F(ListTest, CopyFromAppendsWhatSourceHeldAtTheStart) {
  for (const ListClass& kind : kListClasses) {
    SCOPED_TRACE(kind.name);
    ComPtr<IObjectList> target = newList(*kind.clsid);
    ComPtr<IObjectList> source = newList(CLSID_ObjectList);
    ASSERT_EQ(target->Add(Variant(0), nullptr), S_OK);
    ASSERT_EQ(source->Add(Variant(1), nullptr), S_OK);
    ASSERT_EQ(source->Add(Variant(2), nullptr), S_OK);
    EXPECT_EQ(target->CopyFrom(source.get()), S_OK);
    EXPECT_EQ(contents(target.get()), L"0,1,2");
    EXPECT_EQ(contents(source.get()), L"1,2");

    // Into itself: the count is read once, so the list doubles once.
    EXPECT_EQ(target->CopyFrom(target.get()), S_OK);
    EXPECT_EQ(contents(target.get()), L"0,1,2,0,1,2");

    EXPECT_EQ(target->CopyFrom(nullptr), S_OK);
    EXPECT_EQ(contents(target.get()), L"0,1,2,0,1,2");
  }
}

TEST_F(ListTest, StringListCopiesFromAnObjectListThroughItsConversion) {
  ComPtr<IObjectList> source = newList(CLSID_ObjectList);
  ASSERT_EQ(source->Add(Variant(42), nullptr), S_OK);
  ASSERT_EQ(source->Add(Variant(L"text"), nullptr), S_OK);
  VARIANT null;
  V_VT(&null) = VT_NULL;
  ASSERT_EQ(source->Add(null, nullptr), S_OK);

  ComPtr<IStringList> strings = create<IStringList>(CLSID_StringList, IID_IStringList);
  ASSERT_EQ(strings->CopyFrom(source.get()), S_OK);
  Variant first;
  ASSERT_EQ(strings->Get(0, first.put()), S_OK);
  EXPECT_EQ(first.type(), VT_BSTR);
  EXPECT_EQ(contents(strings.get()), L"42,text,(null)");
}

TEST_F(ListTest, StringListConvertsItemsAndKeepsNullApartFromEmpty) {
  ComPtr<IStringList> list = create<IStringList>(CLSID_StringList, IID_IStringList);
  VARIANT null;
  V_VT(&null) = VT_NULL;
  ASSERT_EQ(list->Add(Variant(7), nullptr), S_OK);
  ASSERT_EQ(list->Add(Variant(), nullptr), S_OK);  // VT_EMPTY converts to ""
  ASSERT_EQ(list->Add(null, nullptr), S_OK);       // VT_NULL does not convert
  ASSERT_EQ(list->AddStr(nullptr), S_OK);
  ASSERT_EQ(list->AddStr(Bstr(L"").get()), S_OK);

  struct Expected {
    LONG pos;
    const wchar_t* text;  // null: a null string
  };
  const Expected expected[] = {{0, L"7"}, {1, L""}, {2, nullptr}, {3, nullptr}, {4, L""}};
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.pos);
    Bstr text;
    ASSERT_EQ(list->GetStr(e.pos, text.put()), S_OK);
    EXPECT_EQ(text.isNull(), e.text == nullptr);
    if (e.text) {
      EXPECT_EQ(text, std::wstring_view(e.text));
    }
  }

  // A Set that does not convert frees the old string and leaves null.
  ASSERT_EQ(list->Set(0, null), S_OK);
  Bstr text;
  ASSERT_EQ(list->GetStr(0, text.put()), S_OK);
  EXPECT_TRUE(text.isNull());
  ASSERT_EQ(list->Set(0, Variant(2.5)), S_OK);
  ASSERT_EQ(list->GetStr(0, text.put()), S_OK);
  EXPECT_FALSE(text.isNull());

  // Outside the list GetStr gives null and SetStr does nothing.
  Bstr outside(L"stale");
  EXPECT_EQ(list->GetStr(5, outside.put()), S_OK);
  EXPECT_TRUE(outside.isNull());
  EXPECT_EQ(list->SetStr(5, Bstr(L"X").get()), S_OK);
  EXPECT_EQ(list->SetStr(-1, Bstr(L"X").get()), S_OK);
  LONG size = 0;
  EXPECT_EQ(list->get_size(&size), S_OK);
  EXPECT_EQ(size, 5);
}

TEST_F(ListTest, StringListOwnMembersEdit) {
  ComPtr<IStringList> list = create<IStringList>(CLSID_StringList, IID_IStringList);
  ASSERT_EQ(list->AddStr(Bstr(L"b").get()), S_OK);
  ASSERT_EQ(list->InsertStr(-3, Bstr(L"a").get()), S_OK);
  ASSERT_EQ(list->InsertStr(9, Bstr(L"d").get()), S_OK);
  ASSERT_EQ(list->InsertStr(2, Bstr(L"c").get()), S_OK);
  ASSERT_EQ(list->SetStr(3, Bstr(L"D").get()), S_OK);
  EXPECT_EQ(contents(list.get()), L"a,b,c,D");

  // Strings with embedded nulls survive whole.
  const wchar_t raw[] = L"x\0y";
  Bstr embedded(std::wstring_view(raw, 3));
  ASSERT_EQ(list->AddStr(embedded.get()), S_OK);
  Bstr back;
  ASSERT_EQ(list->GetStr(4, back.put()), S_OK);
  EXPECT_EQ(back.length(), 3u);
  EXPECT_EQ(back, embedded);
}

TEST_F(ListTest, FindStrWithAndWithoutCase) {
  ComPtr<IStringList> list = create<IStringList>(CLSID_StringList, IID_IStringList);
  for (const wchar_t* text : {L"xyz", L"ABC", L"abc", L"", L"abcd"}) {
    ASSERT_EQ(list->AddStr(Bstr(text).get()), S_OK);
  }
  ASSERT_EQ(list->AddStr(nullptr), S_OK);
  struct Case {
    const wchar_t* item;
    VARIANT_BOOL exact;
    LONG expected;
  };
  const Case cases[] = {
      {L"abc", VARIANT_FALSE, 1},  {L"abc", VARIANT_TRUE, 2},  {L"ABC", VARIANT_TRUE, 1},
      {L"aBc", VARIANT_TRUE, -1},  {L"aBc", VARIANT_FALSE, 1}, {L"ab", VARIANT_FALSE, -1},
      {L"XYZ", VARIANT_FALSE, 0},  {L"XYZ", VARIANT_TRUE, -1}, {L"", VARIANT_TRUE, 3},
      {L"missing", VARIANT_FALSE, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "FindStr(" << Bstr(c.item).toUtf8() << ", "
                                    << (c.exact ? "exact" : "any case") << ")");
    LONG pos = 99;
    EXPECT_EQ(list->FindStr(Bstr(c.item).get(), c.exact, &pos), S_OK);
    EXPECT_EQ(pos, c.expected);
  }
  // A null item is the empty string to automation.
  LONG pos = 99;
  EXPECT_EQ(list->FindStr(nullptr, VARIANT_TRUE, &pos), S_OK);
  EXPECT_EQ(pos, 3);
}

TEST_F(ListTest, ElementsAreCopiesInAndOut) {
  ComPtr<IObjectList> list = newList(CLSID_ObjectList);
  Bstr mine(L"abc");
  VARIANT item;
  V_VT(&item) = VT_BSTR;
  V_BSTR(&item) = mine.get();  // still owned by mine
  ASSERT_EQ(list->Add(item, nullptr), S_OK);
  mine.get()[0] = L'X';

  Variant first, second;
  ASSERT_EQ(list->Get(0, first.put()), S_OK);
  ASSERT_EQ(list->Get(0, second.put()), S_OK);
  EXPECT_EQ(textOf(first), L"abc");
  EXPECT_NE(V_BSTR(&first), mine.get());
  EXPECT_NE(V_BSTR(&first), V_BSTR(&second));
  V_BSTR(&first)[0] = L'Y';
  EXPECT_EQ(contents(list.get()), L"abc");

  // The string list copies its strings the same way.
  ComPtr<IStringList> strings = create<IStringList>(CLSID_StringList, IID_IStringList);
  ASSERT_EQ(strings->AddStr(mine.get()), S_OK);
  ASSERT_EQ(strings->Add(item, nullptr), S_OK);
  mine.get()[0] = L'Z';
  EXPECT_EQ(contents(strings.get()), L"Xbc,Xbc");
}

TEST_F(ListTest, ObjectElementsHoldOneReference) {
  ComPtr<IObjectList> list = newList(CLSID_ObjectList);
  ComPtr<IDispatch> element = create<IDispatch>(CLSID_ObjectPair, IID_IDispatch);
  ASSERT_EQ(refCount(element.get()), 1u);
  ASSERT_EQ(list->Add(Variant(element.get()), nullptr), S_OK);
  ASSERT_EQ(list->Insert(0, Variant(static_cast<IUnknown*>(element.get()))), S_OK);
  EXPECT_EQ(refCount(element.get()), 3u);
  {
    Variant out;
    ASSERT_EQ(list->Get(1, out.put()), S_OK);
    ASSERT_EQ(out.type(), VT_DISPATCH);
    EXPECT_EQ(V_DISPATCH(&out), element.get());
    EXPECT_EQ(refCount(element.get()), 4u);
  }
  ASSERT_EQ(list->Remove(0, 1), S_OK);
  EXPECT_EQ(refCount(element.get()), 2u);
  ASSERT_EQ(list->Set(0, Variant(1)), S_OK);
  EXPECT_EQ(refCount(element.get()), 1u);
  ASSERT_EQ(list->Add(Variant(element.get()), nullptr), S_OK);
  list.reset();  // the last reference to the list frees its elements
  EXPECT_EQ(refCount(element.get()), 1u);
}

// Script engines pass their variables by reference; the list keeps the
// value, not a pointer into the caller's variable.
TEST_F(ListTest, ByReferenceItemsAreStoredAsTheirValue) {
  ComPtr<IObjectList> list = newList(CLSID_ObjectList);
  LONG number = 5;
  VARIANT byRef;
  V_VT(&byRef) = VT_BYREF | VT_I4;
  V_I4REF(&byRef) = &number;
  ASSERT_EQ(list->Add(byRef, nullptr), S_OK);
  Variant text(L"one");
  VARIANT byVariantRef;
  V_VT(&byVariantRef) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&byVariantRef) = &text;
  ASSERT_EQ(list->Add(byVariantRef, nullptr), S_OK);
  ASSERT_EQ(list->Insert(0, byVariantRef), S_OK);
  ASSERT_EQ(list->Set(2, byRef), S_OK);
  number = 6;
  text = Variant(L"two");

  for (LONG pos : {0L, 1L, 2L}) {
    Variant out;
    ASSERT_EQ(list->Get(pos, out.put()), S_OK);
    EXPECT_EQ(out.type() & VT_BYREF, 0) << pos;
  }
  EXPECT_EQ(contents(list.get()), L"one,5,5");

  ComPtr<IStringList> strings = create<IStringList>(CLSID_StringList, IID_IStringList);
  ASSERT_EQ(strings->Add(byRef, nullptr), S_OK);
  EXPECT_EQ(contents(strings.get()), L"6");
}

// The storage's growth rule and its ownership of the elements, seen
// directly (the automation interface does not show the capacity).
struct Tracked {
  explicit Tracked(int v, int* frees) : value(v), freed(frees) {}
  ~Tracked() { ++*freed; }
  int value;
  int* freed;
};

TEST(ElementArrayTest, GrowsByTheListRule) {
  int freed = 0;
  ElementArray<Tracked> array;
  EXPECT_EQ(array.capacity(), 0);
  struct Step {
    LONG count;     // elements appended so far
    LONG capacity;  // capacity then
  };
  const Step steps[] = {{1, 8}, {8, 8}, {9, 17}, {17, 17}, {18, 35}, {36, 71}};
  LONG appended = 0;
  for (const Step& step : steps) {
    while (appended < step.count) {
      array.append(std::make_unique<Tracked>(appended, &freed));
      ++appended;
    }
    EXPECT_EQ(array.capacity(), step.capacity) << step.count;
  }
  array.clear();
  EXPECT_EQ(freed, 36);
  EXPECT_EQ(array.capacity(), 0);
  EXPECT_EQ(array.count(), 0);

  // Room for many at once: an absent array gets max(count + 2n, 8), an
  // existing one 2 x capacity + n.
  array.reserveMore(3);
  EXPECT_EQ(array.capacity(), 8);
  array.clear();
  array.reserveMore(20);
  EXPECT_EQ(array.capacity(), 40);
  array.reserveMore(40);
  EXPECT_EQ(array.capacity(), 40);
  array.reserveMore(41);
  EXPECT_EQ(array.capacity(), 121);
  // Past 32-bit positions nothing is allocated and the array stays.
  array.append(std::make_unique<Tracked>(0, &freed));
  EXPECT_THROW(array.reserveMore(LONG_MAX), std::bad_alloc);
  EXPECT_EQ(array.capacity(), 121);
  EXPECT_EQ(array.count(), 1);
}

TEST(ElementArrayTest, EraseFreesTheRangeOnceAndKeepsOrder) {
  struct Case {
    LONG first;
    LONG end;
    const char* expected;
  };
  const Case cases[] = {{0, 1, "1234"}, {1, 3, "034"}, {0, 5, ""}, {3, 5, "012"}, {2, 2, "01234"},
                        {0, 3, "34"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "erase(" << c.first << ", " << c.end << ")");
    int freed = 0;
    {
      ElementArray<Tracked> array;
      for (int i = 0; i < 5; ++i) array.append(std::make_unique<Tracked>(i, &freed));
      array.erase(c.first, c.end);
      EXPECT_EQ(freed, c.end - c.first);
      std::string left;
      for (LONG i = 0; i < array.count(); ++i) left += static_cast<char>('0' + array.at(i).value);
      EXPECT_EQ(left, c.expected);
    }
    EXPECT_EQ(freed, 5);
  }
}

}  // namespace
