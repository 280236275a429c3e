#include "FakeController.h"

namespace {
volatile LONG g_live = 0;
}  // namespace

FakeController::FakeController() noexcept { ::InterlockedIncrement(&g_live); }

FakeController::~FakeController() { ::InterlockedDecrement(&g_live); }

std::span<const InterfaceEntry<FakeController>> FakeController::interfaceMap() noexcept {
  static constexpr InterfaceEntry<FakeController> map[] = {
      interfaceEntry<FakeController, IFrameworkController>(IID_IFrameworkController),
      interfaceEntry<FakeController, IDispatch, IFrameworkController>(IID_IDispatch),
  };
  return map;
}

LONG FakeController::liveCount() noexcept { return ::InterlockedCompareExchange(&g_live, 0, 0); }

STDMETHODIMP FakeController::get_Name(BSTR*) noexcept { return E_NOTIMPL; }
STDMETHODIMP FakeController::get_Desc(BSTR*) noexcept { return E_NOTIMPL; }
STDMETHODIMP FakeController::get_Locale(BSTR*) noexcept { return E_NOTIMPL; }
STDMETHODIMP FakeController::put_Locale(BSTR) noexcept { return E_NOTIMPL; }
STDMETHODIMP FakeController::get_BaseUrl(BSTR*) noexcept { return E_NOTIMPL; }
STDMETHODIMP FakeController::get_ProductVersion(BSTR*) noexcept { return E_NOTIMPL; }
STDMETHODIMP FakeController::GetProperty(BSTR, VARIANT*) noexcept { return E_NOTIMPL; }
STDMETHODIMP FakeController::SetProperty(BSTR, VARIANT) noexcept { return E_NOTIMPL; }
STDMETHODIMP FakeController::LoadService(BSTR, IFrameworkPlugin**) noexcept { return E_NOTIMPL; }
STDMETHODIMP FakeController::AddService(BSTR, BSTR, IFrameworkPlugin*) noexcept { return E_NOTIMPL; }
STDMETHODIMP FakeController::RemoveService(BSTR, BSTR, IFrameworkPlugin*) noexcept {
  return E_NOTIMPL;
}
STDMETHODIMP FakeController::get_MainWindow(IDispatch**) noexcept { return E_NOTIMPL; }
STDMETHODIMP FakeController::OpenWindow(BSTR, BSTR, LONG, LONG) noexcept { return E_NOTIMPL; }
STDMETHODIMP FakeController::get_onLaunchString(VARIANT*) noexcept { return E_NOTIMPL; }
STDMETHODIMP FakeController::put_onLaunchString(VARIANT) noexcept { return E_NOTIMPL; }
STDMETHODIMP FakeController::GetLaunchString(VARIANT_BOOL, IStringObjectMap**) noexcept {
  return E_NOTIMPL;
}
STDMETHODIMP FakeController::SetLaunchString(BSTR) noexcept { return E_NOTIMPL; }
STDMETHODIMP FakeController::Restart() noexcept { return E_NOTIMPL; }
STDMETHODIMP FakeController::get_onExternalAccess(VARIANT*) noexcept { return E_NOTIMPL; }
STDMETHODIMP FakeController::put_onExternalAccess(VARIANT) noexcept { return E_NOTIMPL; }
STDMETHODIMP FakeController::SetExternalAccess(BSTR, LONG, VARIANT_BOOL) noexcept {
  return E_NOTIMPL;
}
STDMETHODIMP FakeController::GetExternalAccess() noexcept { return E_NOTIMPL; }
STDMETHODIMP FakeController::ChangeMainWindow(BSTR, VARIANT, VARIANT) noexcept { return E_NOTIMPL; }
STDMETHODIMP FakeController::get_onChangeMainWindow(VARIANT*) noexcept { return E_NOTIMPL; }
STDMETHODIMP FakeController::put_onChangeMainWindow(VARIANT) noexcept { return E_NOTIMPL; }
STDMETHODIMP FakeController::Encode(BSTR, BSTR, BSTR*) noexcept { return E_NOTIMPL; }
STDMETHODIMP FakeController::Decode(BSTR, BSTR, BSTR*) noexcept { return E_NOTIMPL; }
