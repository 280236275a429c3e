#include "CUiService.h"

std::span<const InterfaceEntry<CUiService>> CUiService::interfaceMap() noexcept {
  static constexpr InterfaceEntry<CUiService> map[] = {
      interfaceEntry<CUiService, IFrameworkPlugin>(IID_IFrameworkPlugin),
      interfaceEntry<CUiService, IDispatch, IFrameworkPlugin>(IID_IDispatch),
      interfaceEntry<CUiService, IObjectSafety>(IID_IObjectSafety),
  };
  return map;
}

STDMETHODIMP CUiService::get_PluginName(BSTR* name) noexcept { return copyText(L"UI,1.0", name); }

STDMETHODIMP CUiService::get_PluginDesc(BSTR* desc) noexcept {
  return copyText(L"Mirdex user interface pages", desc);
}
