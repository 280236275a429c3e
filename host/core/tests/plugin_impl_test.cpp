// The plug-in base: attaching and detaching the controller, and the guard
// that makes a detach wait for a guarded call running on another thread.
#include "FakeController.h"

#include "ComApartment.h"
#include "ComObject.h"
#include "DispatchCall.h"
#include "IFrameworkPluginImpl.h"
#include "UniqueHandle.h"
#include "Variant.h"

#include <gtest/gtest.h>

#include <atomic>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

class TestPlugin : public IFrameworkPluginImpl<IFrameworkPlugin, &IID_IFrameworkPlugin> {
public:
  using Base = IFrameworkPluginImpl<IFrameworkPlugin, &IID_IFrameworkPlugin>;

  enum class Hook { Attach, Detach };
  struct Call {
    Hook hook;
    IFrameworkController* held;  // what framework() held when the hook ran
  };

  static std::span<const InterfaceEntry<TestPlugin>> interfaceMap() noexcept {
    static constexpr InterfaceEntry<TestPlugin> map[] = {
        interfaceEntry<TestPlugin, IFrameworkPlugin>(IID_IFrameworkPlugin),
        interfaceEntry<TestPlugin, IDispatch, IFrameworkPlugin>(IID_IDispatch),
    };
    return map;
  }

  STDMETHODIMP get_PluginName(BSTR* name) noexcept override { return copyText(L"Test,1.0", name); }
  STDMETHODIMP get_PluginDesc(BSTR* desc) noexcept override {
    return copyText(L"Test plug-in", desc);
  }

  HRESULT onAttach() override {
    calls.push_back({Hook::Attach, framework().get()});
    return attachResult;
  }
  HRESULT onDetach() override {
    calls.push_back({Hook::Detach, framework().get()});
    const HRESULT hr = Base::onDetach();
    return FAILED(detachResult) ? detachResult : hr;
  }

  HRESULT attachResult = S_OK;
  HRESULT detachResult = S_OK;
  std::vector<Call> calls;
};

ComPtr<IFrameworkController> newController() {
  ComPtr<ComObject<FakeController>> object;
  EXPECT_EQ(ComObject<FakeController>::create(object), S_OK);
  return ComPtr<IFrameworkController>(object.get());
}

class PluginImplTest : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(m_com.ok());
    ASSERT_EQ(ComObject<TestPlugin>::create(m_plugin), S_OK);
    m_liveBefore = FakeController::liveCount();
  }

  ComPtr<IFrameworkController> held() {
    ComPtr<IFrameworkController> controller;
    EXPECT_EQ(m_plugin->get_Framework(controller.put()), S_OK);
    return controller;
  }

  ComApartment m_com;
  ComPtr<ComObject<TestPlugin>> m_plugin;
  LONG m_liveBefore = 0;
};

TEST_F(PluginImplTest, AttachStoresFirstAndDetachRunsWhileStillHeld) {
  ComPtr<IFrameworkController> controller = newController();
  EXPECT_EQ(m_plugin->put_Framework(controller.get()), S_OK);
  ASSERT_EQ(m_plugin->calls.size(), 1u);
  EXPECT_EQ(m_plugin->calls[0].hook, TestPlugin::Hook::Attach);
  EXPECT_EQ(m_plugin->calls[0].held, controller.get());
  EXPECT_EQ(held(), controller);

  // The plug-in's reference keeps the controller alive on its own.
  IFrameworkController* raw = controller.get();
  controller.reset();
  EXPECT_EQ(FakeController::liveCount(), m_liveBefore + 1);

  EXPECT_EQ(m_plugin->put_Framework(nullptr), S_OK);
  ASSERT_EQ(m_plugin->calls.size(), 2u);
  EXPECT_EQ(m_plugin->calls[1].hook, TestPlugin::Hook::Detach);
  EXPECT_EQ(m_plugin->calls[1].held, raw);
  EXPECT_EQ(held(), nullptr);
  EXPECT_EQ(FakeController::liveCount(), m_liveBefore);
}

TEST_F(PluginImplTest, SameControllerAgainAndNullWithoutControllerDoNothing) {
  EXPECT_EQ(m_plugin->put_Framework(nullptr), S_OK);
  EXPECT_TRUE(m_plugin->calls.empty());

  ComPtr<IFrameworkController> controller = newController();
  m_plugin->attachResult = E_FAIL;  // would show if onAttach ran again
  EXPECT_EQ(m_plugin->put_Framework(controller.get()), E_FAIL);
  EXPECT_EQ(m_plugin->put_Framework(controller.get()), S_OK);
  EXPECT_EQ(m_plugin->calls.size(), 1u);
  EXPECT_EQ(held(), controller);
}

TEST_F(PluginImplTest, ReplacingTheControllerReleasesTheOldOneWithoutDetaching) {
  ComPtr<IFrameworkController> first = newController();
  ComPtr<IFrameworkController> second = newController();
  ASSERT_EQ(m_plugin->put_Framework(first.get()), S_OK);
  first.reset();
  ASSERT_EQ(FakeController::liveCount(), m_liveBefore + 2);

  EXPECT_EQ(m_plugin->put_Framework(second.get()), S_OK);
  EXPECT_EQ(FakeController::liveCount(), m_liveBefore + 1);
  ASSERT_EQ(m_plugin->calls.size(), 2u);
  EXPECT_EQ(m_plugin->calls[1].hook, TestPlugin::Hook::Attach);
  EXPECT_EQ(m_plugin->calls[1].held, second.get());
  EXPECT_EQ(held(), second);
}

TEST_F(PluginImplTest, PutAnswersWithTheHookResult) {
  ComPtr<IFrameworkController> controller = newController();

  // A failed attach still leaves the controller attached.
  m_plugin->attachResult = E_ACCESSDENIED;
  EXPECT_EQ(m_plugin->put_Framework(controller.get()), E_ACCESSDENIED);
  EXPECT_EQ(held(), controller);

  // A failed detach still lets the controller go.
  m_plugin->detachResult = E_ABORT;
  EXPECT_EQ(m_plugin->put_Framework(nullptr), E_ABORT);
  EXPECT_EQ(held(), nullptr);
}

TEST_F(PluginImplTest, GetFrameworkHandsOutItsOwnReference) {
  EXPECT_EQ(m_plugin->get_Framework(nullptr), E_POINTER);
  EXPECT_EQ(held(), nullptr);

  ComPtr<IFrameworkController> controller = newController();
  ASSERT_EQ(m_plugin->put_Framework(controller.get()), S_OK);
  controller.reset();
  ComPtr<IFrameworkController> got = held();
  ASSERT_NE(got, nullptr);
  ASSERT_EQ(m_plugin->put_Framework(nullptr), S_OK);
  // The caller's reference outlives the detach.
  EXPECT_EQ(FakeController::liveCount(), m_liveBefore + 1);
  got.reset();
  EXPECT_EQ(FakeController::liveCount(), m_liveBefore);
}

TEST_F(PluginImplTest, GuardCountsNestedCallsAndIdleWaitTimesOut) {
  EXPECT_TRUE(m_plugin->waitIdle(0));
  m_plugin->enter();
  m_plugin->enter();
  const ULONGLONG start = ::GetTickCount64();
  EXPECT_FALSE(m_plugin->waitIdle(200));
  EXPECT_GE(::GetTickCount64() - start, 150u);
  m_plugin->leave();
  EXPECT_FALSE(m_plugin->waitIdle(0));
  m_plugin->leave();
  EXPECT_TRUE(m_plugin->waitIdle(0));
  {
    TestPlugin::BusyGuard guard(*m_plugin);
    EXPECT_FALSE(m_plugin->waitIdle(0));
  }
  EXPECT_TRUE(m_plugin->waitIdle(0));
}

TEST_F(PluginImplTest, DetachWaitsForAGuardedCallOnAnotherThread) {
  ComPtr<IFrameworkController> controller = newController();
  ASSERT_EQ(m_plugin->put_Framework(controller.get()), S_OK);
  IFrameworkController* raw = controller.get();
  controller.reset();

  KernelHandle entered(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  KernelHandle go(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  KernelHandle detached(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(entered && go && detached);
  std::atomic<int> order{0};
  int leftAt = 0;
  int detachedAt = 0;
  HRESULT detachResult = E_UNEXPECTED;

  std::thread worker([&] {
    TestPlugin::BusyGuard guard(*m_plugin);
    ::SetEvent(entered.get());
    ::WaitForSingleObject(go.get(), INFINITE);
    leftAt = ++order;
  });
  ASSERT_EQ(::WaitForSingleObject(entered.get(), 10000), WAIT_OBJECT_0);

  std::thread detacher([&] {
    detachResult = m_plugin->put_Framework(nullptr);
    detachedAt = ++order;
    ::SetEvent(detached.get());
  });
  // While the guarded call runs the detach neither finishes nor lets the
  // controller go.
  EXPECT_EQ(::WaitForSingleObject(detached.get(), 300), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(FakeController::liveCount(), m_liveBefore + 1);

  ::SetEvent(go.get());
  EXPECT_EQ(::WaitForSingleObject(detached.get(), 10000), WAIT_OBJECT_0);
  worker.join();
  detacher.join();

  EXPECT_EQ(detachResult, S_OK);
  EXPECT_LT(leftAt, detachedAt);
  ASSERT_EQ(m_plugin->calls.size(), 2u);
  EXPECT_EQ(m_plugin->calls[1].held, raw);
  EXPECT_EQ(held(), nullptr);
  EXPECT_EQ(FakeController::liveCount(), m_liveBefore);
}

std::wstring programPath() {
  wchar_t path[MAX_PATH * 2] = {};
  ::GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
  return path;
}

TEST_F(PluginImplTest, TargetAndBaseUrlNameTheModuleThroughDispatch) {
  // Late-bound, as pages read them: through the program's type library.
  Variant target, url;
  ASSERT_EQ(DispatchCall::invokeByName(m_plugin.get(), L"PluginTarget", DISPATCH_PROPERTYGET, {},
                                       target.put()),
            S_OK);
  ASSERT_EQ(DispatchCall::invokeByName(m_plugin.get(), L"PluginBaseUrl", DISPATCH_PROPERTYGET, {},
                                       url.put()),
            S_OK);
  ASSERT_EQ(target.type(), VT_BSTR);
  EXPECT_STREQ(V_BSTR(&target), L"FrameworkController,1.0");
  ASSERT_EQ(url.type(), VT_BSTR);
  EXPECT_EQ(std::wstring(V_BSTR(&url)), L"res://" + programPath() + L"/_HTML_/");
  EXPECT_EQ(m_plugin->get_PluginBaseUrl(nullptr), E_POINTER);
}

}  // namespace
