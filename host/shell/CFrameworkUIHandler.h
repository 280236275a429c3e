#pragma once
// The UI handler of one CFrameworkWindow's browser: makes the control
// behave as part of the application rather than as a web browser. It
// suppresses the browser's menus (except over form controls), its
// accelerators and its UI, sets the host flags and the option key, hands
// out the window's shell as the pages' external object, and lets res: URLs
// carry a query string.
#include "IDocHostUIHandlerDispatch.h"
#include "InterfaceMap.h"
#include "UntypedDispatch.h"

#include <span>
#include <string_view>

class CFrameworkWindow;

class CFrameworkUIHandler : public UntypedDispatch<IDocHostUIHandlerDispatch> {
public:
  // The host flags added to the browser's: no 3-D border, flat scroll
  // bars, themes, no outer 3-D border.
  static constexpr DWORD kHostFlags = 0x4 | 0x80 | 0x40000 | 0x200000;
  // Where the browser reads its options, under HKEY_CURRENT_USER.
  static constexpr wchar_t kOptionKeyPath[] = L"Software\\Mirdex\\browser";

  CFrameworkUIHandler() = default;
  ~CFrameworkUIHandler() = default;
  CFrameworkUIHandler(const CFrameworkUIHandler&) = delete;
  CFrameworkUIHandler& operator=(const CFrameworkUIHandler&) = delete;

  static std::span<const InterfaceEntry<CFrameworkUIHandler>> interfaceMap() noexcept;

  // The window this handler serves; its window clears it when it goes away.
  void setWindow(CFrameworkWindow* window) noexcept { m_pWindow = window; }
  CFrameworkWindow* window() const noexcept { return m_pWindow; }

  // IDispatch: the host calls the members directly; there is no type
  // information to call them by name.
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                             DISPID* ids) noexcept override;
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argError) noexcept override;

  // IDocHostUIHandlerDispatch
  STDMETHODIMP ShowContextMenu(DWORD dwID, DWORD x, DWORD y, IUnknown* pcmdtReserved,
                               IDispatch* pdispReserved, HRESULT* dwRetVal) noexcept override;
  STDMETHODIMP GetHostInfo(DWORD* pdwFlags, DWORD* pdwDoubleClick) noexcept override;
  STDMETHODIMP ShowUI(DWORD dwID, IUnknown* pActiveObject, IUnknown* pCommandTarget,
                      IUnknown* pFrame, IUnknown* pDoc, HRESULT* dwRetVal) noexcept override;
  STDMETHODIMP HideUI() noexcept override;
  STDMETHODIMP UpdateUI() noexcept override;
  STDMETHODIMP EnableModeless(VARIANT_BOOL fEnable) noexcept override;
  STDMETHODIMP OnDocWindowActivate(VARIANT_BOOL fActivate) noexcept override;
  STDMETHODIMP OnFrameWindowActivate(VARIANT_BOOL fActivate) noexcept override;
  STDMETHODIMP ResizeBorder(long left, long top, long right, long bottom, IUnknown* pUIWindow,
                            VARIANT_BOOL fFrameWindow) noexcept override;
  STDMETHODIMP TranslateAccelerator(DWORD_PTR hWnd, DWORD nMessage, DWORD_PTR wParam,
                                    DWORD_PTR lParam, BSTR bstrGuidCmdGroup, DWORD nCmdID,
                                    HRESULT* dwRetVal) noexcept override;
  STDMETHODIMP GetOptionKeyPath(BSTR* pbstrKey, DWORD dw) noexcept override;
  STDMETHODIMP GetDropTarget(IUnknown* pDropTarget, IUnknown** ppDropTarget) noexcept override;
  STDMETHODIMP GetExternal(IDispatch** ppDispatch) noexcept override;
  STDMETHODIMP TranslateUrl(DWORD dwTranslate, BSTR bstrURLIn, BSTR* pbstrURLOut) noexcept override;
  STDMETHODIMP FilterDataObject(IUnknown* pDO, IUnknown** ppDORet) noexcept override;

private:
  // Whether the browser keeps a key-down of this virtual key.
  static bool browserKeepsKey(WPARAM key) noexcept;

  CFrameworkWindow* m_pWindow = nullptr;
};
