#pragma once
// The browser host's UI-handler dispatch interface: the automation-style
// twin of IDocHostUIHandler through which a host window hands the browser's
// UI questions (menus, keys, host flags, option key, URL translation,
// external object) to an object of its owner. Declared here with its
// published interface id and member layout because the cross-compiler's
// headers lack it (and the description shipped with the Wine headers drops
// the command id argument of TranslateAccelerator).
#include <windows.h>
#include <oaidl.h>

extern "C" const IID IID_IDocHostUIHandlerDispatch;

MIDL_INTERFACE("425B5AF0-65F1-11D1-9611-0000F81E0D0D")
IDocHostUIHandlerDispatch : public IDispatch {
public:
  // *dwRetVal S_OK: the host showed its own menu (or none); S_FALSE: the
  // browser shows its menu.
  virtual HRESULT STDMETHODCALLTYPE ShowContextMenu(
      DWORD dwID, DWORD x, DWORD y, IUnknown * pcmdtReserved, IDispatch * pdispReserved,
      HRESULT * dwRetVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetHostInfo(DWORD * pdwFlags, DWORD * pdwDoubleClick) = 0;
  virtual HRESULT STDMETHODCALLTYPE ShowUI(DWORD dwID, IUnknown * pActiveObject,
                                           IUnknown * pCommandTarget, IUnknown * pFrame,
                                           IUnknown * pDoc, HRESULT * dwRetVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE HideUI() = 0;
  virtual HRESULT STDMETHODCALLTYPE UpdateUI() = 0;
  virtual HRESULT STDMETHODCALLTYPE EnableModeless(VARIANT_BOOL fEnable) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnDocWindowActivate(VARIANT_BOOL fActivate) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(VARIANT_BOOL fActivate) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResizeBorder(long left, long top, long right, long bottom,
                                                 IUnknown* pUIWindow,
                                                 VARIANT_BOOL fFrameWindow) = 0;
  // *dwRetVal S_OK: the key was handled here; S_FALSE: the browser handles it.
  virtual HRESULT STDMETHODCALLTYPE TranslateAccelerator(
      DWORD_PTR hWnd, DWORD nMessage, DWORD_PTR wParam, DWORD_PTR lParam, BSTR bstrGuidCmdGroup,
      DWORD nCmdID, HRESULT * dwRetVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetOptionKeyPath(BSTR * pbstrKey, DWORD dw) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDropTarget(IUnknown * pDropTarget,
                                                  IUnknown * *ppDropTarget) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetExternal(IDispatch * *ppDispatch) = 0;
  // S_FALSE with a null *pbstrURLOut when the URL stays as it is.
  virtual HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD dwTranslate, BSTR bstrURLIn,
                                                 BSTR * pbstrURLOut) = 0;
  virtual HRESULT STDMETHODCALLTYPE FilterDataObject(IUnknown * pDO, IUnknown * *ppDORet) = 0;
};

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IDocHostUIHandlerDispatch, 0x425b5af0, 0x65f1, 0x11d1, 0x96, 0x11, 0x00, 0x00, 0xf8,
                0x1e, 0x0d, 0x0d)
#endif
