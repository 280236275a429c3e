// A real local server: this test program registered per user as the
// server of the test library's Calc class, started by COM with -Embedding,
// called late-bound from this process, calling back into it, and ending by
// itself when its last object is released.
#include "CCalc.h"
#include "ComApartment.h"
#include "ComModule.h"
#include "ComObject.h"
#include "DispatchCall.h"
#include "RecordingDispatch.h"
#include "Registrar.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

namespace {

const RegistryEntry kServerEntries[] = {
    RegistryEntry::string(RegistryRoot::ClassesRoot,
                          L"CLSID\\{2CA5EE2F-7C31-407F-8CCF-9936E9A39A2E}", L"",
                          L"ComTest Calc Class", RegistryEntry::kDeleteTree),
    RegistryEntry::string(RegistryRoot::ClassesRoot,
                          L"CLSID\\{2CA5EE2F-7C31-407F-8CCF-9936E9A39A2E}\\LocalServer32", L"",
                          L"\"%MODULE%\""),
};

class LocalServerTest : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(apartment.ok());
    perUser.addReplacement(L"MODULE", ComModule::modulePath());
    machine.addReplacement(L"MODULE", ComModule::modulePath());
    perUser.setPerUserClasses(true);
    ASSERT_EQ(perUser.write(kServerEntries), S_OK);
  }
  void TearDown() override {
    EXPECT_EQ(perUser.remove(kServerEntries), S_OK);
    if (machineWritten) {
      EXPECT_EQ(machine.remove(kServerEntries), S_OK);
    }
  }

  // Windows finds the per-user registration. Wine 8 reads class
  // registrations from the machine's classes only, so there the test
  // registers the server for the machine as well and tries again.
  HRESULT create(ComPtr<IDispatch>& calc) {
    HRESULT hr = ::CoCreateInstance(CLSID_Calc, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                    calc.putVoid());
    if (hr != REGDB_E_CLASSNOTREG) return hr;
    machineWritten = true;
    hr = machine.write(kServerEntries);
    if (FAILED(hr)) return hr;
    return ::CoCreateInstance(CLSID_Calc, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                              calc.putVoid());
  }

  ComApartment apartment;
  Registrar perUser;
  Registrar machine;
  bool machineWritten = false;
};

TEST_F(LocalServerTest, CallsAcrossProcessesAndServerEndsWhenReleased) {
  ComPtr<IDispatch> calc;
  ASSERT_EQ(create(calc), S_OK);
  const LONG localObjects = CCalc::liveCount();

  Variant result;
  ASSERT_EQ(DispatchCall::invokeByName(calc.get(), L"ProcessId", DISPATCH_PROPERTYGET, {},
                                       result.put()),
            S_OK);
  long serverPid = 0;
  ASSERT_EQ(result.asLong(serverPid), S_OK);
  ASSERT_NE(static_cast<DWORD>(serverPid), ::GetCurrentProcessId());
  KernelHandle server(::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(serverPid)));
  ASSERT_TRUE(server);

  ASSERT_EQ(DispatchCall::invokeByName(calc.get(), L"Add", DISPATCH_METHOD,
                                       {Variant(19), Variant(23)}, result.put()),
            S_OK);
  long sum = 0;
  ASSERT_EQ(result.asLong(sum), S_OK);
  EXPECT_EQ(sum, 42);

  // The server keeps our function in its global interface table and calls
  // it back into this apartment while our call is in progress.
  ComPtr<ComObject<RecordingDispatch>> function;
  ASSERT_EQ(ComObject<RecordingDispatch>::create(function), S_OK);
  ASSERT_EQ(DispatchCall::invokeByName(calc.get(), L"SetCallback", DISPATCH_METHOD,
                                       {Variant(static_cast<IDispatch*>(function.get()))}),
            S_OK);
  ASSERT_EQ(DispatchCall::invokeByName(calc.get(), L"CallBack", DISPATCH_METHOD, {Variant(8)},
                                       result.put()),
            S_OK);
  ASSERT_EQ(result.asLong(sum), S_OK);
  EXPECT_EQ(sum, 16);
  const auto calls = function->calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].id, DISPID_VALUE);
  EXPECT_EQ(calls[0].thread, ::GetCurrentThreadId());
  EXPECT_EQ(CCalc::liveCount(), localObjects);  // the object lives in the server

  calc.reset();
  // Last object gone: the server's module count reaches zero and it quits.
  EXPECT_EQ(::WaitForSingleObject(server.get(), 30000), WAIT_OBJECT_0);
}

}  // namespace
