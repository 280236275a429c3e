// Owning COM value types and GDI handle owners.
#include "Bstr.h"
#include "CCalc.h"
#include "ComApartment.h"
#include "ComObject.h"
#include "ComPtr.h"
#include "UniqueHandle.h"
#include "Variant.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// References held on an object, read without changing them.
template <typename T>
ULONG refCount(T* p) {
  p->AddRef();
  return p->Release();
}

class ComValueTest : public testing::Test {
protected:
  ComApartment apartment;
};

TEST_F(ComValueTest, ComPtrOwnsExactlyOneReferencePerHolder) {
  ComPtr<ComObject<CCalc>> object;
  ASSERT_EQ(ComObject<CCalc>::create(object), S_OK);
  EXPECT_EQ(refCount(object.get()), 1u);
  {
    ComPtr<ICalc> copy(object.get());
    EXPECT_EQ(refCount(object.get()), 2u);
    ComPtr<ICalc> moved(std::move(copy));
    EXPECT_FALSE(copy);
    EXPECT_EQ(refCount(object.get()), 2u);
    ComPtr<ICalc> assigned;
    assigned = moved;
    EXPECT_EQ(refCount(object.get()), 3u);
    assigned = assigned;  // self-assignment keeps the reference
    EXPECT_EQ(refCount(object.get()), 3u);
  }
  EXPECT_EQ(refCount(object.get()), 1u);

  ICalc* raw = nullptr;
  EXPECT_EQ(ComPtr<ICalc>(object.get()).CopyTo(&raw), S_OK);
  EXPECT_EQ(refCount(object.get()), 2u);
  ComPtr<ICalc> adopted;
  adopted.attach(raw);  // takes the reference CopyTo gave, adds none
  EXPECT_EQ(refCount(object.get()), 2u);
  raw = adopted.detach();
  EXPECT_EQ(refCount(object.get()), 2u);
  raw->Release();

  const LONG before = CCalc::liveCount();
  object.reset();
  EXPECT_EQ(CCalc::liveCount(), before - 1);
}

TEST_F(ComValueTest, ComPtrQueriesOtherInterfaces) {
  ComPtr<ComObject<CCalc>> object;
  ASSERT_EQ(ComObject<CCalc>::create(object), S_OK);
  ComPtr<ICalc> calc(object.get());
  ComPtr<ICounter> counter;
  EXPECT_EQ(calc.As(IID_ICounter, counter), S_OK);
  EXPECT_TRUE(counter);
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(calc.As(factory), E_NOINTERFACE);
  EXPECT_FALSE(factory);
  EXPECT_EQ(ComPtr<ICalc>().As(counter), E_POINTER);
  EXPECT_FALSE(counter);
  EXPECT_EQ(calc.CopyTo(static_cast<ICalc**>(nullptr)), E_POINTER);
}

TEST_F(ComValueTest, BstrConvertsFromNarrowAndUtf8) {
  struct Case {
    const char* utf8;
    const wchar_t* wide;
  } const cases[] = {
      {"", L""},
      {"plain", L"plain"},
      {"J\xC3\xBCrgen", L"J\u00FCrgen"},
      {"\xE4\xB8\xAD\xE6\x96\x87", L"\u4E2D\u6587"},
      {"\xF0\x9F\x98\x80", L"\xD83D\xDE00"},  // outside the BMP: a surrogate pair
  };
  for (const Case& c : cases) {
    const Bstr b = Bstr::fromUtf8(c.utf8);
    EXPECT_FALSE(b.isNull()) << c.utf8;  // even the empty text is a real string
    EXPECT_EQ(b.view(), std::wstring_view(c.wide)) << c.utf8;
    EXPECT_EQ(b.toUtf8(), std::string(c.utf8));
  }
  EXPECT_EQ(Bstr::fromAnsi("abc").view(), L"abc");
}

TEST_F(ComValueTest, BstrKeepsLengthNullnessAndOwnership) {
  const wchar_t withNul[] = {L'a', L'\0', L'b'};
  Bstr b(std::wstring_view(withNul, 3));
  EXPECT_EQ(b.length(), 3u);  // the length prefix, not the first zero
  Bstr copy(b);
  EXPECT_NE(copy.get(), b.get());
  EXPECT_TRUE(copy == b);

  Bstr none;
  EXPECT_TRUE(none.isNull());
  EXPECT_EQ(none.length(), 0u);
  EXPECT_STREQ(none.c_str(), L"");
  EXPECT_TRUE(Bstr(static_cast<const wchar_t*>(nullptr)).isNull());

  BSTR out = reinterpret_cast<BSTR>(1);
  EXPECT_EQ(none.copyTo(&out), S_OK);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(b.copyTo(nullptr), E_POINTER);
  ASSERT_EQ(b.copyTo(&out), S_OK);
  EXPECT_EQ(::SysStringLen(out), 3u);
  ::SysFreeString(out);

  BSTR taken = b.detach();
  EXPECT_TRUE(b.isNull());
  Bstr owner = Bstr::attach(taken);
  EXPECT_EQ(owner.get(), taken);
}

TEST_F(ComValueTest, VariantCopiesDeepAndMovesShallow) {
  Variant text(L"hello");
  Variant copy(text);
  EXPECT_EQ(copy.type(), VT_BSTR);
  EXPECT_NE(V_BSTR(&copy), V_BSTR(&text));
  EXPECT_STREQ(V_BSTR(&copy), L"hello");

  ComPtr<ComObject<CCalc>> object;
  ASSERT_EQ(ComObject<CCalc>::create(object), S_OK);
  {
    Variant holder(static_cast<IDispatch*>(object.get()));
    EXPECT_EQ(refCount(object.get()), 2u);
    Variant second(holder);
    EXPECT_EQ(refCount(object.get()), 3u);
    Variant moved(std::move(second));
    EXPECT_EQ(second.type(), VT_EMPTY);
    EXPECT_EQ(refCount(object.get()), 3u);
    VARIANT out;
    ASSERT_EQ(moved.copyTo(&out), S_OK);
    EXPECT_EQ(refCount(object.get()), 4u);
    ::VariantClear(&out);
    moved = Variant(5);
    EXPECT_EQ(refCount(object.get()), 2u);
  }
  EXPECT_EQ(refCount(object.get()), 1u);
}

TEST_F(ComValueTest, VariantReadsThroughStandardConversion) {
  long number = -1;
  EXPECT_EQ(Variant(L"42").asLong(number), S_OK);
  EXPECT_EQ(number, 42);
  number = -1;
  EXPECT_TRUE(FAILED(Variant(L"forty").asLong(number)));
  EXPECT_EQ(number, -1);  // untouched on failure

  Bstr text;
  EXPECT_EQ(Variant(7).asString(text), S_OK);
  EXPECT_EQ(text.view(), L"7");
  EXPECT_EQ(Variant(true).asString(text), S_OK);
  EXPECT_EQ(text.view(), L"-1");
  EXPECT_EQ(Variant(true).asString(text, VARIANT_ALPHABOOL), S_OK);  // flags reach the conversion
  EXPECT_EQ(text.view(), L"True");

  bool flag = false;
  EXPECT_EQ(Variant(1).asBool(flag), S_OK);
  EXPECT_TRUE(flag);
  EXPECT_EQ(Variant(0).asBool(flag), S_OK);
  EXPECT_FALSE(flag);

  // A by-reference value, as some script engines pass arguments.
  LONG target = 12;
  VARIANT byRef;
  V_VT(&byRef) = VT_I4 | VT_BYREF;
  V_I4REF(&byRef) = &target;
  EXPECT_EQ(Variant::asLong(byRef, number), S_OK);
  EXPECT_EQ(number, 12);

  ComPtr<ComObject<CCalc>> object;
  ASSERT_EQ(ComObject<CCalc>::create(object), S_OK);
  ComPtr<IDispatch> dispatch;
  EXPECT_EQ(Variant(static_cast<IDispatch*>(object.get())).asDispatch(dispatch), S_OK);
  EXPECT_TRUE(sameComObject(dispatch.get(), static_cast<ICalc*>(object.get())));
  EXPECT_TRUE(FAILED(Variant(3).asDispatch(dispatch)));
  EXPECT_FALSE(dispatch);
}

TEST_F(ComValueTest, VariantTellsNothingFromSomething) {
  struct Case {
    Variant value;
    bool nothing;
  };
  VARIANT null;
  V_VT(&null) = VT_NULL;
  const Case cases[] = {
      {Variant(), true},
      {Variant(null), true},
      {Variant(static_cast<IDispatch*>(nullptr)), true},
      {Variant(static_cast<IUnknown*>(nullptr)), true},
      {Variant(0), false},
      {Variant(L""), false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.value.isNothing(), c.nothing) << c.value.type();
}

TEST(GdiHandles, ObjectsAreDeletedAndSelectionsRestored) {
  HBRUSH raw = nullptr;
  {
    GdiBrush brush(::CreateSolidBrush(RGB(1, 2, 3)));
    ASSERT_TRUE(brush);
    raw = brush.get();
    EXPECT_EQ(::GetObjectType(raw), static_cast<DWORD>(OBJ_BRUSH));
  }
  EXPECT_EQ(::GetObjectType(raw), 0u);

  WindowDc screen(nullptr);
  ASSERT_TRUE(screen);
  HDC rawDc = nullptr;
  {
    MemoryDc memory(::CreateCompatibleDC(screen.get()));
    ASSERT_TRUE(memory);
    rawDc = memory.get();
    GdiBitmap bitmap(::CreateCompatibleBitmap(screen.get(), 4, 4));
    ASSERT_TRUE(bitmap);
    const HGDIOBJ original = ::GetCurrentObject(memory.get(), OBJ_BITMAP);
    {
      SelectedObject selected(memory.get(), bitmap.get());
      EXPECT_TRUE(selected);
      EXPECT_EQ(::GetCurrentObject(memory.get(), OBJ_BITMAP), bitmap.get());
    }
    EXPECT_EQ(::GetCurrentObject(memory.get(), OBJ_BITMAP), original);
  }
  EXPECT_EQ(::GetObjectType(rawDc), 0u);

  WindowDc moved(std::move(screen));
  EXPECT_FALSE(screen);
  EXPECT_TRUE(moved);
}

}  // namespace
