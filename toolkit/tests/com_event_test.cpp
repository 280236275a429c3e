// Connection points and script callbacks kept in the global interface table.
#include "CCalc.h"
#include "ComApartment.h"
#include "ComCreator.h"
#include "ComObject.h"
#include "RecordingDispatch.h"
#include "ScriptCallback.h"
#include "SinkConnection.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace {

template <typename T>
ULONG refCount(T* p) {
  p->AddRef();
  return p->Release();
}

class ComEventTest : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(apartment.ok());
    ASSERT_EQ(ComCreator<CCalc>::createInstance(nullptr, IID_ICalc, calc.putVoid()), S_OK);
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(calc.As(IID_IConnectionPointContainer, container), S_OK);
    ASSERT_EQ(container->FindConnectionPoint(DIID__ICalcEvents, point.put()), S_OK);
  }

  static ComPtr<ComObject<RecordingDispatch>> newSink(const IID& outgoing = DIID__ICalcEvents) {
    ComPtr<ComObject<RecordingDispatch>> sink;
    EXPECT_EQ(ComObject<RecordingDispatch>::create(sink, outgoing), S_OK);
    return sink;
  }

  ComApartment apartment;
  ComPtr<ICalc> calc;
  ComPtr<IConnectionPoint> point;
};

TEST_F(ComEventTest, ContainerFindsAndListsItsPoints) {
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(calc.As(IID_IConnectionPointContainer, container), S_OK);
  ComPtr<IConnectionPoint> other;
  EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, other.put()), CONNECT_E_NOCONNECTION);
  EXPECT_FALSE(other);

  IID iid = IID_NULL;
  EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
  EXPECT_EQ(iid, DIID__ICalcEvents);
  ComPtr<IConnectionPointContainer> back;
  EXPECT_EQ(point->GetConnectionPointContainer(back.put()), S_OK);
  EXPECT_EQ(back, container);

  ComPtr<IEnumConnectionPoints> points;
  ASSERT_EQ(container->EnumConnectionPoints(points.put()), S_OK);
  IConnectionPoint* items[2] = {};
  ULONG fetched = 0;
  EXPECT_EQ(points->Next(2, items, nullptr), E_POINTER);
  EXPECT_EQ(points->Next(2, items, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 1u);
  EXPECT_EQ(items[0], point.get());
  items[0]->Release();
  EXPECT_EQ(points->Reset(), S_OK);
  EXPECT_EQ(points->Skip(2), S_FALSE);
}

TEST_F(ComEventTest, HeldConnectionPointKeepsItsObjectAlive) {
  const LONG live = CCalc::liveCount();
  calc.reset();
  EXPECT_EQ(CCalc::liveCount(), live);
  point.reset();
  EXPECT_EQ(CCalc::liveCount(), live - 1);
}

TEST_F(ComEventTest, EventsReachEveryAdvisedSinkUntilUnadvised) {
  auto first = newSink();
  auto second = newSink();
  DWORD cookie1 = 0, cookie2 = 0;
  ASSERT_EQ(point->Advise(static_cast<IDispatch*>(first.get()), &cookie1), S_OK);
  ASSERT_EQ(point->Advise(static_cast<IDispatch*>(second.get()), &cookie2), S_OK);
  EXPECT_NE(cookie1, 0u);
  EXPECT_NE(cookie2, 0u);
  EXPECT_NE(cookie1, cookie2);
  EXPECT_EQ(refCount(static_cast<IDispatch*>(first.get())), 2u);  // held by the point

  ASSERT_EQ(calc->Notify(7, Bstr(L"seven").get()), S_OK);
  for (auto* sink : {first.get(), second.get()}) {
    const auto calls = sink->calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].id, 1);
    EXPECT_EQ(calls[0].flags, DISPATCH_METHOD);
    // Arguments arrive in declaration order at the sink.
    ASSERT_EQ(calls[0].args.size(), 2u);
    long value = 0;
    EXPECT_EQ(calls[0].args[0].asLong(value), S_OK);
    EXPECT_EQ(value, 7);
    Bstr text;
    EXPECT_EQ(calls[0].args[1].asString(text), S_OK);
    EXPECT_EQ(text.view(), L"seven");
  }

  ComPtr<IEnumConnections> connections;
  ASSERT_EQ(point->EnumConnections(connections.put()), S_OK);
  CONNECTDATA data[3] = {};
  ULONG fetched = 0;
  EXPECT_EQ(connections->Next(3, data, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  DWORD cookies[2] = {data[0].dwCookie, data[1].dwCookie};
  std::sort(cookies, cookies + 2);
  EXPECT_EQ(cookies[0], std::min(cookie1, cookie2));
  EXPECT_EQ(cookies[1], std::max(cookie1, cookie2));
  for (ULONG i = 0; i < fetched; ++i) data[i].pUnk->Release();
  // A clone continues from the same place in the same snapshot.
  ComPtr<IEnumConnections> clone;
  ASSERT_EQ(connections->Clone(clone.put()), S_OK);
  EXPECT_EQ(clone->Next(1, data, nullptr), S_FALSE);
  ASSERT_EQ(clone->Reset(), S_OK);
  EXPECT_EQ(clone->Skip(2), S_OK);
  // The snapshot holds its own references to the sinks.
  EXPECT_EQ(refCount(static_cast<IDispatch*>(first.get())), 3u);
  connections.reset();
  clone.reset();

  EXPECT_EQ(point->Unadvise(cookie1), S_OK);
  EXPECT_EQ(refCount(static_cast<IDispatch*>(first.get())), 1u);
  EXPECT_EQ(point->Unadvise(cookie1), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point->Unadvise(0), CONNECT_E_NOCONNECTION);
  ASSERT_EQ(calc->Notify(8, nullptr), S_OK);
  EXPECT_EQ(first->calls().size(), 1u);
  EXPECT_EQ(second->calls().size(), 2u);
  EXPECT_EQ(point->Unadvise(cookie2), S_OK);
}

TEST_F(ComEventTest, AdviseRefusesSinksOfAnotherInterface) {
  auto wrong = newSink(IID_NULL);  // only IDispatch, not the event interface
  DWORD cookie = 5;
  EXPECT_EQ(point->Advise(static_cast<IDispatch*>(wrong.get()), &cookie), CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(cookie, 0u);
  EXPECT_EQ(point->Advise(nullptr, &cookie), E_POINTER);
  EXPECT_EQ(refCount(static_cast<IDispatch*>(wrong.get())), 1u);
}

TEST_F(ComEventTest, SinkConnectionUnadvisesWhenItEnds) {
  auto sink = newSink();
  IDispatch* sinkDispatch = static_cast<IDispatch*>(sink.get());
  {
    SinkConnection connection;
    EXPECT_EQ(connection.connect(calc.get(), IID_IDispatch, sinkDispatch), CONNECT_E_NOCONNECTION);
    EXPECT_FALSE(connection.connected());
    ASSERT_EQ(connection.connect(calc.get(), DIID__ICalcEvents, sinkDispatch), S_OK);
    EXPECT_TRUE(connection.connected());
    ASSERT_EQ(calc->Notify(1, nullptr), S_OK);
    EXPECT_EQ(sink->calls().size(), 1u);
    // Connecting again replaces the subscription rather than adding one.
    ASSERT_EQ(connection.connect(calc.get(), DIID__ICalcEvents, sinkDispatch), S_OK);
    ASSERT_EQ(calc->Notify(2, nullptr), S_OK);
    EXPECT_EQ(sink->calls().size(), 2u);
  }
  ASSERT_EQ(calc->Notify(3, nullptr), S_OK);
  EXPECT_EQ(sink->calls().size(), 2u);
  EXPECT_EQ(refCount(sinkDispatch), 1u);
}

// Runs the thread's message loop (which delivers calls marshalled into this
// apartment) until the handle is signalled; false on time-out.
bool pumpUntil(HANDLE handle, DWORD timeoutMs) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  for (;;) {
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) return false;
    const DWORD r = ::MsgWaitForMultipleObjects(1, &handle, FALSE,
                                                static_cast<DWORD>(deadline - now), QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) return true;
    if (r != WAIT_OBJECT_0 + 1) return false;
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
  }
}

class ScriptCallbackTest : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(apartment.ok());
    ASSERT_EQ(ComObject<RecordingDispatch>::create(function), S_OK);
  }
  IDispatch* dispatch() { return static_cast<IDispatch*>(function.get()); }

  ComApartment apartment;
  ComPtr<ComObject<RecordingDispatch>> function;
};

TEST_F(ScriptCallbackTest, CallsTheFunctionAsMethodZeroInItsApartment) {
  ScriptCallback callback;
  EXPECT_FALSE(callback.isSet());
  EXPECT_EQ(callback.invoke({Variant(1)}), S_FALSE);  // nothing stored
  ASSERT_EQ(callback.set(dispatch()), S_OK);
  EXPECT_TRUE(callback.isSet());

  Variant result;
  ASSERT_EQ(callback.invoke({Variant(5), Variant(L"x")}, result.put()), S_OK);
  long value = 0;
  ASSERT_EQ(result.asLong(value), S_OK);
  EXPECT_EQ(value, 10);
  auto calls = function->calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].id, DISPID_VALUE);
  EXPECT_EQ(calls[0].flags, DISPATCH_METHOD);
  ASSERT_EQ(calls[0].args.size(), 2u);
  EXPECT_EQ(calls[0].args[1].type(), VT_BSTR);

  ComPtr<IDispatch> same;
  ASSERT_EQ(callback.get(same), S_OK);
  EXPECT_TRUE(sameComObject(same.get(), dispatch()));
}

TEST_F(ScriptCallbackTest, WorkerThreadCallIsMarshalledToTheOwningApartment) {
  ScriptCallback callback;
  ASSERT_EQ(callback.set(dispatch()), S_OK);

  HRESULT workerResult = E_FAIL;
  long workerValue = 0;
  KernelHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::thread worker([&] {
    ComApartment mta(COINIT_MULTITHREADED);
    Variant result;
    workerResult = callback.invoke({Variant(21)}, result.put());
    result.asLong(workerValue);
    ::SetEvent(done.get());
  });
  // The call waits for this apartment to take it from its message queue.
  const bool finished = pumpUntil(done.get(), 30000);
  worker.join();
  ASSERT_TRUE(finished);
  EXPECT_EQ(workerResult, S_OK);
  EXPECT_EQ(workerValue, 42);
  const auto calls = function->calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].thread, ::GetCurrentThreadId());
}

TEST_F(ScriptCallbackTest, ClearingOrDestroyingReleasesTheFunction) {
  const ULONG baseline = refCount(dispatch());
  {
    ScriptCallback callback;
    ASSERT_EQ(callback.set(dispatch()), S_OK);
    EXPECT_GT(refCount(dispatch()), baseline);  // the table holds it
    ASSERT_EQ(callback.set(nullptr), S_OK);  // null clears
    EXPECT_FALSE(callback.isSet());
    EXPECT_EQ(refCount(dispatch()), baseline);
    ComPtr<IDispatch> none;
    EXPECT_EQ(callback.get(none), S_OK);
    EXPECT_FALSE(none);

    ASSERT_EQ(callback.set(dispatch()), S_OK);
    ASSERT_EQ(callback.set(dispatch()), S_OK);  // replacing revokes the old entry
    EXPECT_GT(refCount(dispatch()), baseline);
  }
  EXPECT_EQ(refCount(dispatch()), baseline);
}

TEST_F(ScriptCallbackTest, HandlerPropertyAcceptsFunctionsAndClearsOnNothing) {
  ScriptCallback callback;
  VARIANT out;
  ASSERT_EQ(callback.toVariant(&out), S_OK);
  EXPECT_EQ(V_VT(&out), VT_DISPATCH);  // an empty handler reads as a null object
  EXPECT_EQ(V_DISPATCH(&out), nullptr);
  EXPECT_EQ(callback.toVariant(nullptr), E_POINTER);

  VARIANT null;
  V_VT(&null) = VT_NULL;
  struct Case {
    Variant value;
    HRESULT result;
    bool setAfter;
  } const cases[] = {
      {Variant(dispatch()), S_OK, true},
      {Variant(), S_OK, false},
      {Variant(dispatch()), S_OK, true},
      {Variant(42), E_INVALIDARG, true},  // refused: the old handler stays
      {Variant(null), S_OK, false},
      {Variant(static_cast<IUnknown*>(dispatch())), S_OK, true},  // converted to IDispatch
      {Variant(static_cast<IDispatch*>(nullptr)), S_OK, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(callback.setFromVariant(c.value), c.result) << c.value.type();
    EXPECT_EQ(callback.isSet(), c.setAfter) << c.value.type();
  }

  ASSERT_EQ(callback.set(dispatch()), S_OK);
  Variant held;
  ASSERT_EQ(callback.toVariant(held.put()), S_OK);
  ASSERT_EQ(held.type(), VT_DISPATCH);
  EXPECT_TRUE(sameComObject(V_DISPATCH(&held), dispatch()));
}

}  // namespace
