#pragma once
// The OLE container of a web-browser control: a child window that creates
// the control, activates it in place over its client area and answers the
// control's questions as its client site, in-place site and frame. UI
// questions (menus, keys, host flags, option key, URL translation, external
// object) go to an external UI handler, and the site gives the control its
// ambient properties.
//
// The object lives as long as its window: the window holds one reference
// and closes the control when it is destroyed.
#include "ComPtr.h"
#include "IDocHostUIHandlerDispatch.h"
#include "InterfaceMap.h"
#include "UntypedDispatch.h"

#include <windows.h>
#include <exdisp.h>
#include <mshtmhst.h>
#include <ole2.h>

#include <span>

class CBrowserHost : public IOleClientSite,
                     public IOleInPlaceSite,
                     public IOleInPlaceFrame,
                     public IDocHostUIHandler,
                     public UntypedDispatch<> {
public:
  CBrowserHost() = default;
  ~CBrowserHost();
  CBrowserHost(const CBrowserHost&) = delete;
  CBrowserHost& operator=(const CBrowserHost&) = delete;

  static std::span<const InterfaceEntry<CBrowserHost>> interfaceMap() noexcept;

  // Creates a visible host window as a child of parent over rc, with its
  // host object. Null on failure.
  static HWND createWindow(HWND parent, const RECT& rc, HINSTANCE instance);
  // The host object of a host window; null for any other window.
  static CBrowserHost* fromWindow(HWND window) noexcept;

  HWND hwnd() const noexcept { return m_hWnd; }

  // The object that the browser's UI questions are handed to; null answers
  // them with the control's defaults.
  void setExternalUIHandler(IDocHostUIHandlerDispatch* handler) noexcept {
    m_spUIHandler = handler;
  }
  IDocHostUIHandlerDispatch* externalUIHandler() const noexcept { return m_spUIHandler.get(); }

  // Creates the browser control in this host and activates it in place
  // over the client area. Replaces a control created earlier.
  HRESULT createBrowser(ComPtr<IWebBrowser2>& browser);
  // Whether the control is active in place (it then has its own window).
  bool browserActive() const noexcept { return static_cast<bool>(m_spInPlaceObject); }

  // IOleClientSite
  STDMETHODIMP SaveObject() noexcept override;
  STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) noexcept override;
  STDMETHODIMP GetContainer(IOleContainer** container) noexcept override;
  STDMETHODIMP ShowObject() noexcept override;
  STDMETHODIMP OnShowWindow(BOOL show) noexcept override;
  STDMETHODIMP RequestNewObjectLayout() noexcept override;

  // IOleWindow (of both the in-place site and the frame)
  STDMETHODIMP GetWindow(HWND* window) noexcept override;
  STDMETHODIMP ContextSensitiveHelp(BOOL enterMode) noexcept override;

  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() noexcept override;
  STDMETHODIMP OnInPlaceActivate() noexcept override;
  STDMETHODIMP OnUIActivate() noexcept override;
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                LPRECT position, LPRECT clip,
                                LPOLEINPLACEFRAMEINFO frameInfo) noexcept override;
  STDMETHODIMP Scroll(SIZE extent) noexcept override;
  STDMETHODIMP OnUIDeactivate(BOOL undoable) noexcept override;
  STDMETHODIMP OnInPlaceDeactivate() noexcept override;
  STDMETHODIMP DiscardUndoState() noexcept override;
  STDMETHODIMP DeactivateAndUndo() noexcept override;
  STDMETHODIMP OnPosRectChange(LPCRECT position) noexcept override;

  // IOleInPlaceUIWindow
  STDMETHODIMP GetBorder(LPRECT border) noexcept override;
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS widths) noexcept override;
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS widths) noexcept override;
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR name) noexcept override;

  // IOleInPlaceFrame
  STDMETHODIMP InsertMenus(HMENU shared, LPOLEMENUGROUPWIDTHS widths) noexcept override;
  STDMETHODIMP SetMenu(HMENU shared, HOLEMENU descriptor, HWND activeObject) noexcept override;
  STDMETHODIMP RemoveMenus(HMENU shared) noexcept override;
  STDMETHODIMP SetStatusText(LPCOLESTR text) noexcept override;
  // Serves the frame and the UI handler alike (one name in both): the
  // handler hears of it, the frame has no modeless UI of its own.
  STDMETHODIMP EnableModeless(BOOL enable) noexcept override;
  STDMETHODIMP TranslateAccelerator(LPMSG message, WORD id) noexcept override;

  // IDocHostUIHandler, handed on to the external UI handler
  STDMETHODIMP ShowContextMenu(DWORD id, POINT* point, IUnknown* commandTarget,
                               IDispatch* object) noexcept override;
  STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) noexcept override;
  STDMETHODIMP ShowUI(DWORD id, IOleInPlaceActiveObject* active, IOleCommandTarget* commandTarget,
                      IOleInPlaceFrame* frame, IOleInPlaceUIWindow* document) noexcept override;
  STDMETHODIMP HideUI() noexcept override;
  STDMETHODIMP UpdateUI() noexcept override;
  STDMETHODIMP OnDocWindowActivate(BOOL activate) noexcept override;
  STDMETHODIMP OnFrameWindowActivate(BOOL activate) noexcept override;
  STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window,
                            BOOL frameWindow) noexcept override;
  STDMETHODIMP TranslateAccelerator(LPMSG message, const GUID* commandGroup,
                                    DWORD commandId) noexcept override;
  STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD reserved) noexcept override;
  STDMETHODIMP GetDropTarget(IDropTarget* target, IDropTarget** replacement) noexcept override;
  STDMETHODIMP GetExternal(IDispatch** external) noexcept override;
  STDMETHODIMP TranslateUrl(DWORD translate, LPWSTR url, LPWSTR* translated) noexcept override;
  STDMETHODIMP FilterDataObject(IDataObject* data, IDataObject** replacement) noexcept override;

  // IDispatch: the ambient properties of the site.
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                             DISPID* ids) noexcept override;
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argError) noexcept override;

private:
  static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static bool registerClass(HINSTANCE instance);

  // Deactivates and closes the control and lets go of it.
  void closeBrowser() noexcept;
  void resizeBrowser() noexcept;

  HWND m_hWnd = nullptr;
  ComPtr<IDocHostUIHandlerDispatch> m_spUIHandler;
  ComPtr<IOleObject> m_spOleObject;
  ComPtr<IOleInPlaceObject> m_spInPlaceObject;
  ComPtr<IOleInPlaceActiveObject> m_spActiveObject;
};
