#pragma once
// The installation's "UI" service: the plug-in whose base URL the host
// navigates to at start-up. Its pages are resources of type _HTML_ in this
// DLL, so its PluginBaseUrl is the res: URL of the DLL itself.
#include "FrameworkLib.h"
#include "IFrameworkPluginImpl.h"
#include "InterfaceMap.h"
#include "ObjectSafetyImpl.h"

#include <span>

class CUiService : public IFrameworkPluginImpl<IFrameworkPlugin, &IID_IFrameworkPlugin>,
                   public ObjectSafetyImpl {
public:
  // {FB31BDCE-B385-4625-874E-2E6654667664}
  static constexpr CLSID kClassId = {
      0xfb31bdce, 0xb385, 0x4625, {0x87, 0x4e, 0x2e, 0x66, 0x54, 0x66, 0x76, 0x64}};
  static constexpr wchar_t kClassIdText[] = L"{FB31BDCE-B385-4625-874E-2E6654667664}";

  static std::span<const InterfaceEntry<CUiService>> interfaceMap() noexcept;

  // IFrameworkPlugin
  STDMETHODIMP get_PluginName(BSTR* name) noexcept override;
  STDMETHODIMP get_PluginDesc(BSTR* desc) noexcept override;
};
