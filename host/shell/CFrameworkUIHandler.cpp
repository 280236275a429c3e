#include "CFrameworkUIHandler.h"

#include "Bstr.h"
#include "CFrameworkShell.h"
#include "CFrameworkWindow.h"

#include <mshtmhst.h>

#include <new>
#include <string>

namespace {
// The scheme is the text up to and including the first ':', compared
// without regard to case; only res: URLs carry a query string here.
bool isResUrl(std::wstring_view url) noexcept {
  constexpr std::wstring_view kScheme = L"res:";
  if (url.size() < kScheme.size() || url[kScheme.size() - 1] != L':') return false;
  for (size_t i = 0; i + 1 < kScheme.size(); ++i) {
    wchar_t c = url[i];
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    if (c != kScheme[i]) return false;
  }
  return true;
}
}  // namespace

std::span<const InterfaceEntry<CFrameworkUIHandler>> CFrameworkUIHandler::interfaceMap() noexcept {
  static constexpr InterfaceEntry<CFrameworkUIHandler> map[] = {
      interfaceEntry<CFrameworkUIHandler, IDocHostUIHandlerDispatch>(IID_IDocHostUIHandlerDispatch),
      interfaceEntry<CFrameworkUIHandler, IDispatch, IDocHostUIHandlerDispatch>(IID_IDispatch),
  };
  return map;
}

// IDispatch

STDMETHODIMP CFrameworkUIHandler::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID,
                                                DISPID* ids) noexcept {
  if (ids) {
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  }
  return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP CFrameworkUIHandler::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                         EXCEPINFO*, UINT*) noexcept {
  return DISP_E_MEMBERNOTFOUND;
}

// IDocHostUIHandlerDispatch

STDMETHODIMP CFrameworkUIHandler::ShowContextMenu(DWORD dwID, DWORD, DWORD, IUnknown*, IDispatch*,
                                                  HRESULT* dwRetVal) noexcept {
  if (!dwRetVal) return E_POINTER;
  // Form controls keep the browser's menu so that edit fields still offer
  // cut, copy and paste; everywhere else no menu appears.
  *dwRetVal = dwID == CONTEXT_MENU_CONTROL ? S_FALSE : S_OK;
  return S_OK;
}

STDMETHODIMP CFrameworkUIHandler::GetHostInfo(DWORD* pdwFlags, DWORD*) noexcept {
  if (!pdwFlags) return E_POINTER;
  *pdwFlags |= kHostFlags;
  return S_OK;
}

STDMETHODIMP CFrameworkUIHandler::ShowUI(DWORD, IUnknown*, IUnknown*, IUnknown*, IUnknown*,
                                         HRESULT*) noexcept {
  return E_NOTIMPL;
}

STDMETHODIMP CFrameworkUIHandler::HideUI() noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkUIHandler::UpdateUI() noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkUIHandler::EnableModeless(VARIANT_BOOL) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkUIHandler::OnDocWindowActivate(VARIANT_BOOL) noexcept { return E_NOTIMPL; }
STDMETHODIMP CFrameworkUIHandler::OnFrameWindowActivate(VARIANT_BOOL) noexcept { return E_NOTIMPL; }

STDMETHODIMP CFrameworkUIHandler::ResizeBorder(long left, long top, long right, long bottom,
                                               IUnknown*, VARIANT_BOOL) noexcept {
  const HWND window = m_pWindow ? m_pWindow->hwnd() : nullptr;
  if (!window) return S_OK;
  // The frame keeps its own thickness; the client area gets the size asked.
  RECT outer, client;
  if (!::GetWindowRect(window, &outer) || !::GetClientRect(window, &client)) return S_OK;
  const int width = (right - left) + (outer.right - outer.left) - (client.right - client.left);
  const int height = (bottom - top) + (outer.bottom - outer.top) - (client.bottom - client.top);
  ::SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
  return S_OK;
}

bool CFrameworkUIHandler::browserKeepsKey(WPARAM key) noexcept {
  switch (key) {
    case VK_TAB:
    case VK_RETURN:
      return true;
    case 'C':
    case 'V':
    case 'X':
    case 'Z':
      return (::GetKeyState(VK_CONTROL) & 0x8000) != 0;
    default:
      return false;
  }
}

STDMETHODIMP CFrameworkUIHandler::TranslateAccelerator(DWORD_PTR, DWORD nMessage, DWORD_PTR wParam,
                                                       DWORD_PTR, BSTR, DWORD,
                                                       HRESULT* dwRetVal) noexcept {
  if (!dwRetVal) return E_POINTER;
  // Reporting a key as handled keeps the browser from acting on it, so it
  // performs none of its own accelerators (refresh, back, new window, ...).
  *dwRetVal =
      nMessage != WM_KEYDOWN || browserKeepsKey(static_cast<WPARAM>(wParam)) ? S_FALSE : S_OK;
  return S_OK;
}

STDMETHODIMP CFrameworkUIHandler::GetOptionKeyPath(BSTR* pbstrKey, DWORD) noexcept {
  if (!pbstrKey) return E_POINTER;
  *pbstrKey = ::SysAllocString(kOptionKeyPath);
  return *pbstrKey ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CFrameworkUIHandler::GetDropTarget(IUnknown*, IUnknown** ppDropTarget) noexcept {
  if (ppDropTarget) *ppDropTarget = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CFrameworkUIHandler::GetExternal(IDispatch** ppDispatch) noexcept {
  if (!ppDispatch) return E_POINTER;
  *ppDispatch = nullptr;
  CFrameworkShell* shell = m_pWindow ? m_pWindow->shell() : nullptr;
  if (!shell) return S_FALSE;
  *ppDispatch = static_cast<IFrameworkShell*>(shell);
  (*ppDispatch)->AddRef();
  return S_OK;
}

STDMETHODIMP CFrameworkUIHandler::TranslateUrl(DWORD, BSTR bstrURLIn, BSTR* pbstrURLOut) noexcept {
  if (!pbstrURLOut) return E_POINTER;
  *pbstrURLOut = nullptr;
  const std::wstring_view url(bstrURLIn ? bstrURLIn : L"", ::SysStringLen(bstrURLIn));
  if (!isResUrl(url)) return S_FALSE;
  const size_t question = url.find(L'?');
  if (question == std::wstring_view::npos) return S_FALSE;
  size_t fragment = url.find(L'#', question + 1);
  if (fragment == std::wstring_view::npos) fragment = url.size();
  try {
    // The page reads the query back through its shell; the browser loads
    // the page itself, with its fragment.
    Bstr query(url.substr(question + 1, fragment - question - 1));
    std::wstring replacement(url.substr(0, question));
    replacement += url.substr(fragment);
    Bstr translated(replacement);
    if (m_pWindow) m_pWindow->setQueryString(std::move(query));
    *pbstrURLOut = translated.detach();
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CFrameworkUIHandler::FilterDataObject(IUnknown*, IUnknown** ppDORet) noexcept {
  if (ppDORet) *ppDORet = nullptr;
  return E_NOTIMPL;
}
