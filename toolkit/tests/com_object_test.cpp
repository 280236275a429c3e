// COM objects built from the toolkit: interface tables, identity, lifetime,
// aggregation, IDispatch from the embedded type library, object safety,
// sites and class objects.
#include "CCalc.h"
#include "ClassFactory.h"
#include "ComApartment.h"
#include "ComCreator.h"
#include "ComModule.h"
#include "ComObject.h"
#include "DispatchCall.h"
#include "InprocServer.h"
#include "RecordingDispatch.h"

#include <gtest/gtest.h>

namespace {

template <typename T>
ULONG refCount(T* p) {
  p->AddRef();
  return p->Release();
}

class ComObjectTest : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(apartment.ok());
    liveBefore = CCalc::liveCount();
    locksBefore = ComModule::instance().lockCount();
  }
  void TearDown() override {
    // Every test lets go of everything it made.
    EXPECT_EQ(CCalc::liveCount(), liveBefore);
    EXPECT_EQ(ComModule::instance().lockCount(), locksBefore);
  }

  static ComPtr<ICalc> newCalc() {
    ComPtr<ICalc> calc;
    EXPECT_EQ(ComCreator<CCalc>::createInstance(nullptr, IID_ICalc, calc.putVoid()), S_OK);
    return calc;
  }

  ComApartment apartment;
  LONG liveBefore = 0;
  LONG locksBefore = 0;
};

TEST_F(ComObjectTest, AnswersItsTableWithOneIdentity) {
  ComPtr<ICalc> calc = newCalc();
  ASSERT_TRUE(calc);
  ComPtr<IUnknown> identity;
  ASSERT_EQ(calc->QueryInterface(IID_IUnknown, identity.putVoid()), S_OK);

  const IID* const answered[] = {&IID_ICalc, &IID_IDispatch, &IID_ICounter,
                                 &IID_IConnectionPointContainer, &IID_IObjectSafety,
                                 &IID_IObjectWithSite};
  for (const IID* iid : answered) {
    ComPtr<IUnknown> p;
    ASSERT_EQ(calc->QueryInterface(*iid, p.putVoid()), S_OK);
    // From every interface, IUnknown leads back to the same pointer.
    ComPtr<IUnknown> back;
    ASSERT_EQ(p->QueryInterface(IID_IUnknown, back.putVoid()), S_OK);
    EXPECT_EQ(back, identity);
    // And every interface leads to every other.
    ComPtr<IUnknown> counter;
    EXPECT_EQ(p->QueryInterface(IID_ICounter, counter.putVoid()), S_OK);
  }

  const IID* const refused[] = {&IID_IClassFactory, &IID_IPersist, &DIID__ICalcEvents};
  for (const IID* iid : refused) {
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(calc->QueryInterface(*iid, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
  }
  EXPECT_EQ(calc->QueryInterface(IID_ICalc, nullptr), E_POINTER);
}

TEST_F(ComObjectTest, LastReleaseRunsFinalReleaseDeletesAndUnlocksModule) {
  const LONG finals = CCalc::finalReleaseCount();
  ComPtr<ICalc> calc = newCalc();
  EXPECT_EQ(CCalc::liveCount(), liveBefore + 1);
  EXPECT_EQ(ComModule::instance().lockCount(), locksBefore + 1);
  ComPtr<ICounter> counter;
  ASSERT_EQ(calc.As(IID_ICounter, counter), S_OK);
  EXPECT_EQ(refCount(calc.get()), 2u);  // one count for the whole object
  calc.reset();
  EXPECT_EQ(CCalc::liveCount(), liveBefore + 1);
  EXPECT_EQ(CCalc::finalReleaseCount(), finals);
  counter.reset();
  EXPECT_EQ(CCalc::liveCount(), liveBefore);
  EXPECT_EQ(CCalc::finalReleaseCount(), finals + 1);
}

TEST_F(ComObjectTest, FailedFinalConstructLeavesNothingBehind) {
  CCalc::failNextConstruct(E_ACCESSDENIED);
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(ComCreator<CCalc>::createInstance(nullptr, IID_ICalc, &out), E_ACCESSDENIED);
  EXPECT_EQ(out, nullptr);
  // TearDown checks that the object is gone and the module unlocked.
}

// An outer object that aggregates a Calc and exposes its interfaces as its own.
class Outer : public IUnknown {
public:
  static std::span<const InterfaceEntry<Outer>> interfaceMap() noexcept {
    static constexpr InterfaceEntry<Outer> map[] = {interfaceEntry<Outer, IUnknown>(IID_IUnknown)};
    return map;
  }
  HRESULT finalConstruct() {
    return ComCreator<CCalc>::createInstance(identityOf(this), IID_IUnknown, inner.putVoid());
  }
  HRESULT queryExtra(REFIID iid, void** out) noexcept { return inner->QueryInterface(iid, out); }

  ComPtr<IUnknown> inner;  // the inner object's own IUnknown
};

TEST_F(ComObjectTest, AggregatedObjectSharesTheOuterIdentityAndCount) {
  ComPtr<ComObject<Outer>> outer;
  ASSERT_EQ(ComObject<Outer>::create(outer), S_OK);
  ASSERT_TRUE(outer->inner);
  EXPECT_EQ(CCalc::liveCount(), liveBefore + 1);

  ComPtr<ICalc> calc;
  ASSERT_EQ(outer->QueryInterface(IID_ICalc, calc.putVoid()), S_OK);
  ComPtr<IUnknown> identity;
  ASSERT_EQ(calc->QueryInterface(IID_IUnknown, identity.putVoid()), S_OK);
  EXPECT_EQ(identity.get(), static_cast<IUnknown*>(outer.get()));
  identity.reset();
  // References taken through the inner interfaces count on the outer object.
  EXPECT_EQ(refCount(outer.get()), 2u);
  EXPECT_EQ(refCount(outer->inner.get()), 1u);

  LONG sum = 0;
  EXPECT_EQ(calc->Add(2, 3, &sum), S_OK);
  EXPECT_EQ(sum, 5);

  outer.reset();
  EXPECT_EQ(CCalc::liveCount(), liveBefore + 1);  // calc keeps the whole aggregate
  calc.reset();
  EXPECT_EQ(CCalc::liveCount(), liveBefore);
}

TEST_F(ComObjectTest, AggregationRulesAreEnforced) {
  ComPtr<ComObject<Outer>> outer;
  ASSERT_EQ(ComObject<Outer>::create(outer), S_OK);
  IUnknown* outerUnknown = static_cast<IUnknown*>(outer.get());
  void* out = reinterpret_cast<void*>(1);
  // An aggregating creator may only ask for the inner IUnknown.
  EXPECT_EQ(ComCreator<CCalc>::createInstance(outerUnknown, IID_ICalc, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  // A class that does not declare itself aggregatable refuses.
  EXPECT_EQ(ComCreator<RecordingDispatch>::createInstance(outerUnknown, IID_IUnknown, &out),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
}

TEST_F(ComObjectTest, DispatchCallsByNameThroughTheEmbeddedTypeLibrary) {
  ComPtr<ICalc> calc = newCalc();
  IDispatch* dispatch = calc.get();

  DISPID id = 0;
  EXPECT_EQ(DispatchCall::idOfName(dispatch, L"Add", id), S_OK);
  EXPECT_EQ(id, 1);
  EXPECT_EQ(DispatchCall::idOfName(dispatch, L"aDD", id), S_OK);  // names ignore case
  EXPECT_EQ(id, 1);
  EXPECT_EQ(DispatchCall::idOfName(dispatch, L"Subtract", id), DISP_E_UNKNOWNNAME);

  Variant result;
  ASSERT_EQ(DispatchCall::invokeByName(dispatch, L"Add", DISPATCH_METHOD,
                                       {Variant(40), Variant(2)}, result.put()),
            S_OK);
  long sum = 0;
  ASSERT_EQ(result.asLong(sum), S_OK);
  EXPECT_EQ(sum, 42);

  // Arguments are converted to the declared types.
  ASSERT_EQ(DispatchCall::invoke(dispatch, 1, DISPATCH_METHOD, {Variant(L"7"), Variant(100)},
                                 result.put()),
            S_OK);
  ASSERT_EQ(result.asLong(sum), S_OK);
  EXPECT_EQ(sum, 107);

  ASSERT_EQ(DispatchCall::invokeByName(dispatch, L"Name", DISPATCH_PROPERTYPUT,
                                       {Variant(L"calculator")}),
            S_OK);
  ASSERT_EQ(DispatchCall::invokeByName(dispatch, L"Name", DISPATCH_PROPERTYGET, {}, result.put()),
            S_OK);
  ASSERT_EQ(result.type(), VT_BSTR);
  EXPECT_STREQ(V_BSTR(&result), L"calculator");

  // The call went through the vtable: the object counted it.
  ComPtr<ICounter> counter;
  ASSERT_EQ(calc.As(IID_ICounter, counter), S_OK);
  LONG calls = 0;
  counter->Count(&calls);
  EXPECT_EQ(calls, 2);

  EXPECT_EQ(DispatchCall::invoke(dispatch, 1, DISPATCH_METHOD, {Variant(1)}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(DispatchCall::invoke(dispatch, 99, DISPATCH_METHOD, {}), DISP_E_MEMBERNOTFOUND);
  DISPPARAMS none = {};
  EXPECT_EQ(dispatch->Invoke(1, IID_ICalc, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
            DISP_E_UNKNOWNINTERFACE);
}

TEST_F(ComObjectTest, DispatchHandsOutTheInterfaceTypeInfo) {
  ComPtr<ICalc> calc = newCalc();
  UINT count = 0;
  EXPECT_EQ(calc->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(calc->GetTypeInfo(0, 0, info.put()), S_OK);
  Bstr name;
  ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(name.view(), L"ICalc");
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, IID_ICalc);
  info->ReleaseTypeAttr(attr);
  EXPECT_EQ(calc->GetTypeInfo(1, 0, info.put()), DISP_E_BADINDEX);
  EXPECT_FALSE(info);
}

TEST_F(ComObjectTest, ObjectSafetyCoversTheScriptingInterfacesOnly) {
  ComPtr<ICalc> calc = newCalc();
  ComPtr<IObjectSafety> safety;
  ASSERT_EQ(calc.As(IID_IObjectSafety, safety), S_OK);
  const DWORD both = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;

  struct Case {
    const IID* iid;
    HRESULT expected;
  } const cases[] = {
      {&IID_IDispatch, S_OK},
      {&IID_ICalc, S_OK},            // the dual interface is the IDispatch
      {&IID_ICounter, E_NOINTERFACE},  // implemented, but not for scripts
      {&IID_IClassFactory, E_NOINTERFACE},
  };
  for (const Case& c : cases) {
    DWORD supported = 1, enabled = 1;
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(*c.iid, &supported, &enabled), c.expected);
    EXPECT_EQ(supported, c.expected == S_OK ? both : 0u);
    EXPECT_EQ(enabled, 0u);
  }

  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, both, both), S_OK);
  DWORD supported = 0, enabled = 0;
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(enabled, both);
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACE_USES_DISPEX,
                                              INTERFACE_USES_DISPEX),
            E_FAIL);
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_ICounter, both, both), E_NOINTERFACE);
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, nullptr, &enabled), E_POINTER);
}

TEST_F(ComObjectTest, SiteIsHeldUntilReplaced) {
  ComPtr<ICalc> calc = newCalc();
  ComPtr<IObjectWithSite> withSite;
  ASSERT_EQ(calc.As(IID_IObjectWithSite, withSite), S_OK);
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(withSite->GetSite(IID_IUnknown, &out), E_FAIL);
  EXPECT_EQ(out, nullptr);

  {
    ComPtr<ICalc> site = newCalc();
    EXPECT_EQ(withSite->SetSite(site.get()), S_OK);
  }
  EXPECT_EQ(CCalc::liveCount(), liveBefore + 2);  // the object keeps its site
  ComPtr<ICounter> fromSite;
  EXPECT_EQ(withSite->GetSite(IID_ICounter, fromSite.putVoid()), S_OK);
  EXPECT_FALSE(sameComObject(fromSite.get(), calc.get()));
  fromSite.reset();
  EXPECT_EQ(withSite->SetSite(nullptr), S_OK);
  EXPECT_EQ(CCalc::liveCount(), liveBefore + 1);
}

const ClassEntry kClasses[] = {{&CLSID_Calc, &ComCreator<CCalc>::createInstance}};

TEST_F(ComObjectTest, InprocClassObjectCreatesAndKeepsTheDllLoaded) {
  EXPECT_EQ(InprocServer::canUnloadNow(), locksBefore == 0 ? S_OK : S_FALSE);
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(InprocServer::getClassObject(kClasses, IID_ICalc, IID_IClassFactory,
                                         factory.putVoid()),
            CLASS_E_CLASSNOTAVAILABLE);
  ASSERT_EQ(InprocServer::getClassObject(kClasses, CLSID_Calc, IID_IClassFactory,
                                         factory.putVoid()),
            S_OK);
  // A client holding only the class object still needs the code.
  EXPECT_EQ(ComModule::instance().lockCount(), locksBefore + 1);
  EXPECT_EQ(InprocServer::canUnloadNow(), S_FALSE);

  ComPtr<ICalc> calc;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_ICalc, calc.putVoid()), S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory.reset();
  calc.reset();
  EXPECT_EQ(ComModule::instance().lockCount(), locksBefore + 1);  // the server lock
  EXPECT_EQ(InprocServer::canUnloadNow(), S_FALSE);
  ComPtr<IClassFactory> again;
  ASSERT_EQ(InprocServer::getClassObject(kClasses, CLSID_Calc, IID_IClassFactory,
                                         again.putVoid()),
            S_OK);
  EXPECT_EQ(again->LockServer(FALSE), S_OK);
  again.reset();
  EXPECT_EQ(ComModule::instance().lockCount(), locksBefore);
}

TEST_F(ComObjectTest, LocalServerClassObjectsDoNotKeepTheServerRunning) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(ClassFactory::create(kClasses[0], false, IID_IClassFactory, factory.putVoid()), S_OK);
  EXPECT_EQ(ComModule::instance().lockCount(), locksBefore);
}

TEST_F(ComObjectTest, IdleHandlerRunsWhenTheLastObjectGoes) {
  static LONG idleCalls;
  idleCalls = 0;
  ComModule::instance().setIdleHandler([](void*) noexcept { ++idleCalls; }, nullptr);
  {
    ComPtr<ICalc> first = newCalc();
    ComPtr<ICalc> second = newCalc();
    first.reset();
    EXPECT_EQ(idleCalls, 0);
  }
  ComModule::instance().setIdleHandler(nullptr, nullptr);
  EXPECT_EQ(idleCalls, locksBefore == 0 ? 1 : 0);
}

TEST(ComModuleInfo, ModuleIsTheTestProgram) {
  EXPECT_EQ(ComModule::moduleHandle(), ::GetModuleHandleW(nullptr));
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  EXPECT_EQ(ComModule::modulePath(), std::wstring(path));
}

}  // namespace
