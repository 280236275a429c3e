// The six collection classes as COM sees them: created by class, answering
// their dual interface, IDispatch and object safety, aggregated inside an
// outer object, and called by name through IDispatch the way a script calls
// them.
#include "CollectionTestSupport.h"
#include "DispatchCall.h"

#include <objsafe.h>

#include <iterator>
#include <string>

namespace {

struct CollectionClass {
  const char* name;
  const CLSID* clsid;
  const IID* dual;
};

const CollectionClass kClasses[] = {
    {"ObjectList", &CLSID_ObjectList, &IID_IObjectList},
    {"StringList", &CLSID_StringList, &IID_IStringList},
    {"ObjectPair", &CLSID_ObjectPair, &IID_IObjectPair},
    {"StringObjectMap", &CLSID_StringObjectMap, &IID_IStringObjectMap},
    {"IntegerObjectMap", &CLSID_IntegerObjectMap, &IID_IIntegerObjectMap},
    {"ErrorObject", &CLSID_ErrorObject, &IID_IErrorObject},
};

using CollectionClassTest = CollectionTest;

TEST_F(CollectionClassTest, EveryClassEntryIsRegisteredOnce) {
  const auto entries = CollectionClasses::classEntries();
  ASSERT_EQ(entries.size(), std::size(kClasses));
  for (const CollectionClass& c : kClasses) {
    size_t found = 0;
    for (const ClassEntry& entry : entries) found += *entry.clsid == *c.clsid ? 1 : 0;
    EXPECT_EQ(found, 1u) << c.name;
  }
}

TEST_F(CollectionClassTest, CreatedByClassAnswerTheirInterfacesSafely) {
  for (const CollectionClass& c : kClasses) {
    SCOPED_TRACE(c.name);
    ComPtr<IUnknown> object = create<IUnknown>(*c.clsid, IID_IUnknown);
    ASSERT_TRUE(object);
    ComPtr<IUnknown> dual, dispatch;
    ASSERT_EQ(object->QueryInterface(*c.dual, dual.putVoid()), S_OK);
    ASSERT_EQ(object->QueryInterface(IID_IDispatch, dispatch.putVoid()), S_OK);
    // A dual interface is the object's IDispatch.
    EXPECT_EQ(dual.get(), dispatch.get());
    ComPtr<IUnknown> other;
    EXPECT_EQ(object->QueryInterface(IID_IConnectionPointContainer, other.putVoid()), E_NOINTERFACE);

    ComPtr<IObjectSafety> safety;
    ASSERT_EQ(object->QueryInterface(IID_IObjectSafety, safety.putVoid()), S_OK);
    for (const IID* iid : {&IID_IDispatch, c.dual}) {
      DWORD supported = 0, enabled = 0;
      ASSERT_EQ(safety->GetInterfaceSafetyOptions(*iid, &supported, &enabled), S_OK);
      EXPECT_EQ(supported & INTERFACESAFE_FOR_UNTRUSTED_CALLER, INTERFACESAFE_FOR_UNTRUSTED_CALLER);
      EXPECT_EQ(safety->SetInterfaceSafetyOptions(*iid, INTERFACESAFE_FOR_UNTRUSTED_CALLER,
                                                  INTERFACESAFE_FOR_UNTRUSTED_CALLER),
                S_OK);
    }

    ComPtr<IDispatch> asDispatch;
    ASSERT_EQ(object->QueryInterface(IID_IDispatch, asDispatch.putVoid()), S_OK);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(asDispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put()), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->guid, *c.dual);
    info->ReleaseTypeAttr(attributes);
  }
}

// An outer object that aggregates one collection: it answers IUnknown
// itself and everything else through the inner object.
class Outer final : public IUnknown {
public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown) {
      *out = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    return inner ? inner->QueryInterface(iid, out) : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() noexcept override { return static_cast<ULONG>(++refs); }
  STDMETHODIMP_(ULONG) Release() noexcept override { return static_cast<ULONG>(--refs); }

  LONG refs = 1;  // on the stack: never deleted through Release
  ComPtr<IUnknown> inner;
};

TEST_F(CollectionClassTest, EveryClassCanBeAggregated) {
  for (const CollectionClass& c : kClasses) {
    SCOPED_TRACE(c.name);
    Outer outer;
    ASSERT_EQ(::CoCreateInstance(*c.clsid, &outer, CLSCTX_ALL, IID_IUnknown,
                                 outer.inner.putVoid()),
              S_OK);
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(outer.QueryInterface(*c.dual, dispatch.putVoid()), S_OK);
    // The inner object's interfaces count on the outer object and lead
    // back to it as their identity.
    EXPECT_EQ(outer.refs, 2);
    ComPtr<IUnknown> identity;
    ASSERT_EQ(dispatch->QueryInterface(IID_IUnknown, identity.putVoid()), S_OK);
    EXPECT_EQ(identity.get(), static_cast<IUnknown*>(&outer));
    identity.reset();
    UINT count = 0;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    dispatch.reset();
    EXPECT_EQ(outer.refs, 1);
    outer.inner.reset();
  }
}

TEST_F(CollectionClassTest, AggregationAsksForTheInnerUnknown) {
  Outer outer;
  ComPtr<IDispatch> dispatch;
  EXPECT_EQ(::CoCreateInstance(CLSID_ObjectList, &outer, CLSCTX_ALL, IID_IDispatch,
                               dispatch.putVoid()),
            CLASS_E_NOAGGREGATION);
  EXPECT_FALSE(dispatch);
}

// Late-bound calls, argument by argument as a script engine makes them.
class ScriptCallTest : public CollectionTest {
protected:
  static Variant call(IDispatch* target, const wchar_t* name, WORD flags,
                      std::initializer_list<Variant> args) {
    Variant result;
    EXPECT_EQ(DispatchCall::invokeByName(target, name, flags, args, result.put()), S_OK) << Bstr(name).toUtf8();
    return result;
  }
  static Variant method(IDispatch* target, const wchar_t* name, std::initializer_list<Variant> args = {}) {
    return call(target, name, DISPATCH_METHOD, args);
  }
  static Variant property(IDispatch* target, const wchar_t* name) {
    return call(target, name, DISPATCH_PROPERTYGET, {});
  }
  static void put(IDispatch* target, const wchar_t* name, Variant value) {
    EXPECT_EQ(DispatchCall::invokeByName(target, name, DISPATCH_PROPERTYPUT, {value}), S_OK);
  }
  static long number(const Variant& v) {
    long n = -99;
    EXPECT_EQ(v.asLong(n), S_OK);
    return n;
  }
};

TEST_F(ScriptCallTest, StringListByName) {
  ComPtr<IDispatch> list = create<IDispatch>(CLSID_StringList, IID_IDispatch);
  // Inherited and own members are both found by name.
  for (const wchar_t* name : {L"size", L"Get", L"Set", L"Add", L"Insert", L"Remove", L"Clear",
                              L"CopyFrom", L"GetStr", L"SetStr", L"AddStr", L"InsertStr",
                              L"FindStr"}) {
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(DispatchCall::idOfName(list.get(), name, id), S_OK) << Bstr(name).toUtf8();
  }
  EXPECT_EQ(number(method(list.get(), L"Add", {Variant(42)})), 0);
  EXPECT_EQ(number(method(list.get(), L"Add", {Variant(L"Word")})), 1);
  method(list.get(), L"AddStr", {Variant(L"tail")});
  method(list.get(), L"Insert", {Variant(-1), Variant(L"head")});
  EXPECT_EQ(number(property(list.get(), L"size")), 4);

  Variant first = method(list.get(), L"GetStr", {Variant(1)});
  ASSERT_EQ(first.type(), VT_BSTR);
  EXPECT_EQ(Bstr(V_BSTR(&first)), std::wstring_view(L"42"));
  Variant item = method(list.get(), L"Get", {Variant(2)});
  ASSERT_EQ(item.type(), VT_BSTR);
  EXPECT_EQ(Bstr(V_BSTR(&item)), std::wstring_view(L"Word"));
  EXPECT_EQ(number(method(list.get(), L"FindStr", {Variant(L"word"), Variant(false)})), 2);
  EXPECT_EQ(number(method(list.get(), L"FindStr", {Variant(L"word"), Variant(true)})), -1);
  method(list.get(), L"Remove", {Variant(0), Variant(2)});
  EXPECT_EQ(number(property(list.get(), L"size")), 2);
  Variant outside = method(list.get(), L"Get", {Variant(9)});
  EXPECT_EQ(outside.type(), VT_EMPTY);
}

// VBScript passes a variable as a reference to its variant; what the list
// keeps must not change when the variable does.
TEST_F(ScriptCallTest, VariableArgumentsAreKeptByValue) {
  ComPtr<IDispatch> list = create<IDispatch>(CLSID_ObjectList, IID_IDispatch);
  DISPID add = DISPID_UNKNOWN;
  ASSERT_EQ(DispatchCall::idOfName(list.get(), L"Add", add), S_OK);
  Variant variable(L"first");
  VARIANT arg;
  V_VT(&arg) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&arg) = &variable;
  DISPPARAMS params = {&arg, nullptr, 1, 0};
  Variant result;
  ASSERT_EQ(list->Invoke(add, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                         result.put(), nullptr, nullptr),
            S_OK);
  variable = Variant(L"second");
  Variant item = method(list.get(), L"Get", {Variant(0)});
  EXPECT_EQ(item.type(), VT_BSTR);
  EXPECT_EQ(textOf(item), L"first");
}

TEST_F(ScriptCallTest, MapPairAndErrorByName) {
  ComPtr<IDispatch> map = create<IDispatch>(CLSID_StringObjectMap, IID_IDispatch);
  ComPtr<IDispatch> list = create<IDispatch>(CLSID_ObjectList, IID_IDispatch);
  method(map.get(), L"Set", {Variant(L"list"), Variant(list.get())});
  method(map.get(), L"Set", {Variant(L"n"), Variant(7)});
  EXPECT_EQ(number(property(map.get(), L"size")), 2);
  Variant exists = method(map.get(), L"Exist", {Variant(L"n")});
  ASSERT_EQ(exists.type(), VT_BOOL);
  EXPECT_EQ(V_BOOL(&exists), VARIANT_TRUE);
  Variant held = method(map.get(), L"Get", {Variant(L"list")});
  ASSERT_EQ(held.type(), VT_DISPATCH);
  EXPECT_TRUE(sameComObject(V_DISPATCH(&held), list.get()));

  Variant entries = property(map.get(), L"entries");
  ASSERT_EQ(entries.type(), VT_DISPATCH);
  ASSERT_EQ(number(property(V_DISPATCH(&entries), L"size")), 2);
  bool sawNumber = false;
  for (long i = 0; i < 2; ++i) {
    Variant pair = method(V_DISPATCH(&entries), L"Get", {Variant(i)});
    ASSERT_EQ(pair.type(), VT_DISPATCH);
    Variant key = property(V_DISPATCH(&pair), L"key");
    if (textOf(key) == L"n") {
      sawNumber = true;
      EXPECT_EQ(number(property(V_DISPATCH(&pair), L"value")), 7);
      put(V_DISPATCH(&pair), L"value", Variant(8));
      EXPECT_EQ(number(property(V_DISPATCH(&pair), L"value")), 8);
    }
  }
  EXPECT_TRUE(sawNumber);
  EXPECT_EQ(number(method(map.get(), L"Get", {Variant(L"n")})), 7);

  ComPtr<IDispatch> error = create<IDispatch>(CLSID_ErrorObject, IID_IDispatch);
  put(error.get(), L"kind", Variant(L"Network"));
  put(error.get(), L"ecode", Variant(5));
  put(error.get(), L"etext", Variant(L"timeout"));
  put(error.get(), L"cause", Variant(create<IDispatch>(CLSID_ErrorObject, IID_IDispatch).get()));
  EXPECT_EQ(textOf(property(error.get(), L"Desc")), L"N5#5 timeout");
  Variant cause = property(error.get(), L"cause");
  EXPECT_EQ(cause.type(), VT_DISPATCH);
  EXPECT_TRUE(V_DISPATCH(&cause));

  ComPtr<IDispatch> numbers = create<IDispatch>(CLSID_IntegerObjectMap, IID_IDispatch);
  method(numbers.get(), L"Set", {Variant(L"12"), Variant(L"twelve")});
  EXPECT_EQ(textOf(method(numbers.get(), L"Get", {Variant(12)})), L"twelve");
}

}  // namespace
