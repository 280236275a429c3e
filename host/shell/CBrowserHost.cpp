#include "CBrowserHost.h"

#include "Bstr.h"
#include "ComObject.h"
#include "Variant.h"

#include <olectl.h>

#include <new>
#include <string_view>
#include <utility>

namespace {
constexpr wchar_t kClassName[] = L"MirdexBrowserHost";

// A copy of text in task memory, as IDocHostUIHandler hands out strings.
LPOLESTR coTaskCopy(std::wstring_view text) noexcept {
  auto* copy = static_cast<LPOLESTR>(::CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
  if (!copy) return nullptr;
  text.copy(copy, text.size());
  copy[text.size()] = L'\0';
  return copy;
}

VARIANT_BOOL variantBool(BOOL value) noexcept { return value ? VARIANT_TRUE : VARIANT_FALSE; }
}  // namespace

CBrowserHost::~CBrowserHost() { closeBrowser(); }

std::span<const InterfaceEntry<CBrowserHost>> CBrowserHost::interfaceMap() noexcept {
  static constexpr InterfaceEntry<CBrowserHost> map[] = {
      interfaceEntry<CBrowserHost, IOleClientSite>(IID_IOleClientSite),
      interfaceEntry<CBrowserHost, IOleWindow, IOleInPlaceSite>(IID_IOleWindow),
      interfaceEntry<CBrowserHost, IOleInPlaceSite>(IID_IOleInPlaceSite),
      interfaceEntry<CBrowserHost, IOleInPlaceUIWindow, IOleInPlaceFrame>(IID_IOleInPlaceUIWindow),
      interfaceEntry<CBrowserHost, IOleInPlaceFrame>(IID_IOleInPlaceFrame),
      interfaceEntry<CBrowserHost, IDocHostUIHandler>(IID_IDocHostUIHandler),
      interfaceEntry<CBrowserHost, IDispatch>(IID_IDispatch),
  };
  return map;
}

bool CBrowserHost::registerClass(HINSTANCE instance) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  if (::GetClassInfoExW(instance, kClassName, &wc)) return true;
  wc.lpfnWndProc = &CBrowserHost::windowProc;
  wc.cbWndExtra = sizeof(CBrowserHost*);
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kClassName;
  return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CBrowserHost::createWindow(HWND parent, const RECT& rc, HINSTANCE instance) {
  if (!registerClass(instance)) return nullptr;
  ComPtr<ComObject<CBrowserHost>> host;
  if (FAILED(ComObject<CBrowserHost>::create(host))) return nullptr;
  // The window takes its own reference while it is created.
  return ::CreateWindowExW(0, kClassName, nullptr,
                           WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, rc.left,
                           rc.top, rc.right - rc.left, rc.bottom - rc.top, parent, nullptr,
                           instance, static_cast<CBrowserHost*>(host.get()));
}

CBrowserHost* CBrowserHost::fromWindow(HWND window) noexcept {
  wchar_t name[64];
  if (!window || !::GetClassNameW(window, name, 64)) return nullptr;
  if (std::wstring_view(name) != kClassName) return nullptr;
  return reinterpret_cast<CBrowserHost*>(::GetWindowLongPtrW(window, 0));
}

LRESULT CALLBACK CBrowserHost::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* host =
        static_cast<CBrowserHost*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    host->m_hWnd = window;
    static_cast<IOleClientSite*>(host)->AddRef();
    ::SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(host));
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
  auto* host = reinterpret_cast<CBrowserHost*>(::GetWindowLongPtrW(window, 0));
  if (!host) return ::DefWindowProcW(window, message, wParam, lParam);
  switch (message) {
    case WM_SIZE:
      host->resizeBrowser();
      return 0;
    case WM_DESTROY:
      host->closeBrowser();
      return 0;
    case WM_NCDESTROY: {
      // The reference the window took at WM_NCCREATE goes with it.
      ComPtr<IOleClientSite> windowReference;
      windowReference.attach(host);
      ::SetWindowLongPtrW(window, 0, 0);
      host->m_hWnd = nullptr;
      return 0;
    }
    default:
      return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

HRESULT CBrowserHost::createBrowser(ComPtr<IWebBrowser2>& browser) {
  browser.reset();
  closeBrowser();
  if (!m_hWnd) return E_UNEXPECTED;
  ComPtr<IOleObject> object;
  HRESULT hr = ::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                  object.putVoid());
  if (FAILED(hr)) return hr;
  m_spOleObject = object;
  // The control wants its site before it is initialised.
  IOleClientSite* site = this;
  hr = object->SetClientSite(site);
  if (SUCCEEDED(hr)) {
    ComPtr<IPersistStreamInit> persist;
    if (SUCCEEDED(object.As(IID_IPersistStreamInit, persist))) persist->InitNew();
    RECT rc;
    ::GetClientRect(m_hWnd, &rc);
    hr = object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site, 0, m_hWnd, &rc);
  }
  ComPtr<IWebBrowser2> web;
  if (SUCCEEDED(hr)) hr = object.As(IID_IWebBrowser2, web);
  if (FAILED(hr)) {
    closeBrowser();
    return hr;
  }
  browser = std::move(web);
  return S_OK;
}

void CBrowserHost::closeBrowser() noexcept {
  ComPtr<IOleObject> object = std::move(m_spOleObject);
  ComPtr<IOleInPlaceObject> inPlace = std::move(m_spInPlaceObject);
  m_spActiveObject.reset();
  if (inPlace) inPlace->InPlaceDeactivate();
  if (object) {
    object->Close(OLECLOSE_NOSAVE);
    object->SetClientSite(nullptr);
  }
}

void CBrowserHost::resizeBrowser() noexcept {
  if (!m_spInPlaceObject || !m_hWnd) return;
  RECT rc;
  ::GetClientRect(m_hWnd, &rc);
  m_spInPlaceObject->SetObjectRects(&rc, &rc);
}

// IOleClientSite

STDMETHODIMP CBrowserHost::SaveObject() noexcept { return E_NOTIMPL; }

STDMETHODIMP CBrowserHost::GetMoniker(DWORD, DWORD, IMoniker** moniker) noexcept {
  if (moniker) *moniker = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CBrowserHost::GetContainer(IOleContainer** container) noexcept {
  if (!container) return E_POINTER;
  *container = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP CBrowserHost::ShowObject() noexcept { return S_OK; }
STDMETHODIMP CBrowserHost::OnShowWindow(BOOL) noexcept { return S_OK; }
STDMETHODIMP CBrowserHost::RequestNewObjectLayout() noexcept { return E_NOTIMPL; }

// IOleWindow

STDMETHODIMP CBrowserHost::GetWindow(HWND* window) noexcept {
  if (!window) return E_POINTER;
  *window = m_hWnd;
  return m_hWnd ? S_OK : E_FAIL;
}

STDMETHODIMP CBrowserHost::ContextSensitiveHelp(BOOL) noexcept { return E_NOTIMPL; }

// IOleInPlaceSite

STDMETHODIMP CBrowserHost::CanInPlaceActivate() noexcept { return m_hWnd ? S_OK : S_FALSE; }

STDMETHODIMP CBrowserHost::OnInPlaceActivate() noexcept {
  return m_spOleObject.As(IID_IOleInPlaceObject, m_spInPlaceObject);
}

STDMETHODIMP CBrowserHost::OnUIActivate() noexcept { return S_OK; }

STDMETHODIMP CBrowserHost::GetWindowContext(IOleInPlaceFrame** frame,
                                            IOleInPlaceUIWindow** document, LPRECT position,
                                            LPRECT clip, LPOLEINPLACEFRAMEINFO frameInfo) noexcept {
  if (!frame || !document || !position || !clip || !frameInfo) return E_POINTER;
  *frame = this;
  (*frame)->AddRef();
  // The frame is the document window as well.
  *document = nullptr;
  ::GetClientRect(m_hWnd, position);
  *clip = *position;
  frameInfo->fMDIApp = FALSE;
  frameInfo->hwndFrame = ::GetAncestor(m_hWnd, GA_ROOT);
  frameInfo->haccel = nullptr;
  frameInfo->cAccelEntries = 0;
  return S_OK;
}

STDMETHODIMP CBrowserHost::Scroll(SIZE) noexcept { return S_OK; }
STDMETHODIMP CBrowserHost::OnUIDeactivate(BOOL) noexcept { return S_OK; }

STDMETHODIMP CBrowserHost::OnInPlaceDeactivate() noexcept {
  m_spInPlaceObject.reset();
  m_spActiveObject.reset();
  return S_OK;
}

STDMETHODIMP CBrowserHost::DiscardUndoState() noexcept { return S_OK; }
STDMETHODIMP CBrowserHost::DeactivateAndUndo() noexcept { return S_OK; }

STDMETHODIMP CBrowserHost::OnPosRectChange(LPCRECT position) noexcept {
  if (!position) return E_POINTER;
  if (m_spInPlaceObject) m_spInPlaceObject->SetObjectRects(position, position);
  return S_OK;
}

// IOleInPlaceUIWindow / IOleInPlaceFrame: no tool space, menus or status
// line of the frame's own.

STDMETHODIMP CBrowserHost::GetBorder(LPRECT) noexcept { return INPLACE_E_NOTOOLSPACE; }
STDMETHODIMP CBrowserHost::RequestBorderSpace(LPCBORDERWIDTHS) noexcept {
  return INPLACE_E_NOTOOLSPACE;
}
STDMETHODIMP CBrowserHost::SetBorderSpace(LPCBORDERWIDTHS) noexcept { return S_OK; }

STDMETHODIMP CBrowserHost::SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR) noexcept {
  m_spActiveObject = active;
  return S_OK;
}

STDMETHODIMP CBrowserHost::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) noexcept { return S_OK; }
STDMETHODIMP CBrowserHost::SetMenu(HMENU, HOLEMENU, HWND) noexcept { return S_OK; }
STDMETHODIMP CBrowserHost::RemoveMenus(HMENU) noexcept { return S_OK; }
STDMETHODIMP CBrowserHost::SetStatusText(LPCOLESTR) noexcept { return S_OK; }

STDMETHODIMP CBrowserHost::EnableModeless(BOOL enable) noexcept {
  if (m_spUIHandler) m_spUIHandler->EnableModeless(variantBool(enable));
  return S_OK;
}

STDMETHODIMP CBrowserHost::TranslateAccelerator(LPMSG, WORD) noexcept { return S_FALSE; }

// IDocHostUIHandler

STDMETHODIMP CBrowserHost::ShowContextMenu(DWORD id, POINT* point, IUnknown* commandTarget,
                                           IDispatch* object) noexcept {
  // Without a handler the browser shows its own menu.
  HRESULT answer = S_FALSE;
  if (!m_spUIHandler) return answer;
  const POINT at = point ? *point : POINT{};
  if (FAILED(m_spUIHandler->ShowContextMenu(id, static_cast<DWORD>(at.x), static_cast<DWORD>(at.y),
                                            commandTarget, object, &answer))) {
    return S_FALSE;
  }
  return answer;
}

STDMETHODIMP CBrowserHost::GetHostInfo(DOCHOSTUIINFO* info) noexcept {
  if (!info) return E_POINTER;
  if (!m_spUIHandler) return S_OK;
  DWORD flags = info->dwFlags;
  DWORD doubleClick = info->dwDoubleClick;
  const HRESULT hr = m_spUIHandler->GetHostInfo(&flags, &doubleClick);
  if (FAILED(hr)) return hr;
  info->dwFlags = flags;
  info->dwDoubleClick = doubleClick;
  return S_OK;
}

STDMETHODIMP CBrowserHost::ShowUI(DWORD id, IOleInPlaceActiveObject* active,
                                  IOleCommandTarget* commandTarget, IOleInPlaceFrame* frame,
                                  IOleInPlaceUIWindow* document) noexcept {
  // S_OK: the host looks after the UI, so the browser shows none of its
  // own; a handler that has nothing to say leaves it so.
  HRESULT answer = S_OK;
  if (m_spUIHandler &&
      SUCCEEDED(m_spUIHandler->ShowUI(id, active, commandTarget, frame, document, &answer))) {
    return answer;
  }
  return S_OK;
}

STDMETHODIMP CBrowserHost::HideUI() noexcept {
  if (m_spUIHandler) m_spUIHandler->HideUI();
  return S_OK;
}

STDMETHODIMP CBrowserHost::UpdateUI() noexcept {
  if (m_spUIHandler) m_spUIHandler->UpdateUI();
  return S_OK;
}

STDMETHODIMP CBrowserHost::OnDocWindowActivate(BOOL activate) noexcept {
  if (m_spUIHandler) m_spUIHandler->OnDocWindowActivate(variantBool(activate));
  return S_OK;
}

STDMETHODIMP CBrowserHost::OnFrameWindowActivate(BOOL activate) noexcept {
  if (m_spUIHandler) m_spUIHandler->OnFrameWindowActivate(variantBool(activate));
  return S_OK;
}

STDMETHODIMP CBrowserHost::ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window,
                                        BOOL frameWindow) noexcept {
  if (!border) return E_POINTER;
  if (m_spUIHandler) {
    m_spUIHandler->ResizeBorder(border->left, border->top, border->right, border->bottom, window,
                                variantBool(frameWindow));
  }
  return S_OK;
}

STDMETHODIMP CBrowserHost::TranslateAccelerator(LPMSG message, const GUID* commandGroup,
                                                DWORD commandId) noexcept {
  // S_FALSE: the browser handles the key itself.
  if (!message || !m_spUIHandler) return S_FALSE;
  try {
    Bstr group;
    if (commandGroup) {
      wchar_t text[40];
      if (::StringFromGUID2(*commandGroup, text, 40)) group = Bstr(text);
    }
    HRESULT answer = S_FALSE;
    const HRESULT hr = m_spUIHandler->TranslateAccelerator(
        reinterpret_cast<DWORD_PTR>(message->hwnd), message->message,
        static_cast<DWORD_PTR>(message->wParam), static_cast<DWORD_PTR>(message->lParam),
        group.get(), commandId, &answer);
    return SUCCEEDED(hr) ? answer : S_FALSE;
  } catch (const std::bad_alloc&) {
    return S_FALSE;
  }
}

STDMETHODIMP CBrowserHost::GetOptionKeyPath(LPOLESTR* key, DWORD reserved) noexcept {
  if (!key) return E_POINTER;
  *key = nullptr;
  if (!m_spUIHandler) return S_FALSE;
  Bstr path;
  if (FAILED(m_spUIHandler->GetOptionKeyPath(path.put(), reserved)) || path.empty()) {
    return S_FALSE;
  }
  *key = coTaskCopy(path.view());
  return *key ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CBrowserHost::GetDropTarget(IDropTarget* target, IDropTarget** replacement) noexcept {
  if (!replacement) return E_POINTER;
  *replacement = nullptr;
  if (!m_spUIHandler) return E_NOTIMPL;
  ComPtr<IUnknown> offered;
  const HRESULT hr = m_spUIHandler->GetDropTarget(target, offered.put());
  if (FAILED(hr) || !offered) return E_NOTIMPL;
  return offered->QueryInterface(IID_IDropTarget, reinterpret_cast<void**>(replacement));
}

STDMETHODIMP CBrowserHost::GetExternal(IDispatch** external) noexcept {
  if (!external) return E_POINTER;
  *external = nullptr;
  if (!m_spUIHandler) return S_FALSE;
  const HRESULT hr = m_spUIHandler->GetExternal(external);
  if (FAILED(hr)) return hr;
  return *external ? S_OK : S_FALSE;
}

STDMETHODIMP CBrowserHost::TranslateUrl(DWORD translate, LPWSTR url, LPWSTR* translated) noexcept {
  if (!translated) return E_POINTER;
  *translated = nullptr;
  if (!m_spUIHandler || !url) return S_FALSE;
  try {
    Bstr in(url);
    Bstr out;
    const HRESULT hr = m_spUIHandler->TranslateUrl(translate, in.get(), out.put());
    if (FAILED(hr) || out.isNull()) return S_FALSE;
    *translated = coTaskCopy(out.view());
    return *translated ? S_OK : E_OUTOFMEMORY;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CBrowserHost::FilterDataObject(IDataObject* data, IDataObject** replacement) noexcept {
  if (!replacement) return E_POINTER;
  *replacement = nullptr;
  if (!m_spUIHandler) return S_FALSE;
  ComPtr<IUnknown> offered;
  const HRESULT hr = m_spUIHandler->FilterDataObject(data, offered.put());
  if (FAILED(hr) || !offered) return S_FALSE;
  return offered->QueryInterface(IID_IDataObject, reinterpret_cast<void**>(replacement));
}

// IDispatch: ambient properties

STDMETHODIMP CBrowserHost::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID,
                                         DISPID* ids) noexcept {
  if (ids) {
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  }
  return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP CBrowserHost::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS*,
                                  VARIANT* result, EXCEPINFO*, UINT*) noexcept {
  if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
  Variant value;
  switch (id) {
    case DISPID_AMBIENT_USERMODE:
      value = Variant(true);
      break;
    case DISPID_AMBIENT_MESSAGEREFLECT:
    case DISPID_AMBIENT_SHOWGRABHANDLES:
    case DISPID_AMBIENT_SHOWHATCHING:
    case DISPID_AMBIENT_DISPLAYASDEFAULT:
      value = Variant(false);
      break;
    case DISPID_AMBIENT_LOCALEID:
      value = Variant(static_cast<long>(::GetUserDefaultLCID()));
      break;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
  if (result) {
    ::VariantInit(result);
    value.detach(result);
  }
  return S_OK;
}
