#include "CFrameworkUISink.h"

#include "Bstr.h"
#include "CFrameworkWindow.h"
#include "ResourceStrings.h"
#include "Variant.h"

#include "resource.h"

#include <exdispid.h>

#include <new>
#include <string>

std::span<const InterfaceEntry<CFrameworkUISink>> CFrameworkUISink::interfaceMap() noexcept {
  static constexpr InterfaceEntry<CFrameworkUISink> map[] = {
      interfaceEntry<CFrameworkUISink, IDispatch>(DIID_DWebBrowserEvents2),
      interfaceEntry<CFrameworkUISink, IDispatch>(IID_IDispatch),
  };
  return map;
}

HRESULT CFrameworkUISink::advise(IWebBrowser2* browser) noexcept {
  return m_connection.connect(browser, DIID_DWebBrowserEvents2, static_cast<IDispatch*>(this));
}

void CFrameworkUISink::disconnect() noexcept {
  m_pWindow = nullptr;
  m_connection.disconnect();
}

STDMETHODIMP CFrameworkUISink::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID,
                                             DISPID* ids) noexcept {
  if (ids) {
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  }
  return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP CFrameworkUISink::Invoke(DISPID id, REFIID iid, LCID, WORD, DISPPARAMS* params,
                                      VARIANT*, EXCEPINFO*, UINT*) noexcept {
  if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  switch (id) {
    case DISPID_TITLECHANGE:
      if (!params || params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
      onTitleChange(params->rgvarg[0]);
      return S_OK;
    case DISPID_NEWWINDOW2: {
      // Arguments come last to first: (IDispatch** ppDisp, VARIANT_BOOL* Cancel).
      if (!params || params->cArgs != 2) return DISP_E_BADPARAMCOUNT;
      const VARIANT& browser = params->rgvarg[1];
      const VARIANT& cancel = params->rgvarg[0];
      if (V_VT(&browser) != (VT_BYREF | VT_DISPATCH) || V_VT(&cancel) != (VT_BYREF | VT_BOOL) ||
          !V_DISPATCHREF(&browser) || !V_BOOLREF(&cancel)) {
        return DISP_E_TYPEMISMATCH;
      }
      onNewWindow2(V_DISPATCHREF(&browser), V_BOOLREF(&cancel));
      return S_OK;
    }
    default:
      return S_OK;
  }
}

void CFrameworkUISink::onTitleChange(const VARIANT& text) noexcept {
  if (!m_pWindow || !m_pWindow->hwnd()) return;
  Bstr title;
  if (FAILED(Variant::asString(text, title))) return;
  ::SetWindowTextW(m_pWindow->hwnd(), title.c_str());
}

void CFrameworkUISink::onNewWindow2(IDispatch** browser, VARIANT_BOOL* cancel) noexcept {
  CFrameworkWindow* opener = m_pWindow;
  if (!opener || !opener->hwnd()) return;
  // The new window shares the opener's controller, takes over the query
  // string the opener captured last and starts over the opener.
  if (auto* window = new (std::nothrow) CFrameworkWindow(opener)) {
    window->setQueryString(opener->takeQueryString());
    RECT rc = {};
    ::GetWindowRect(opener->hwnd(), &rc);
    ComPtr<IDispatch> dispatch;
    if (window->Create(rc) && window->browser() &&
        SUCCEEDED(window->browser()->QueryInterface(IID_IDispatch, dispatch.putVoid()))) {
      *browser = dispatch.detach();
      ::ShowWindow(window->hwnd(), SW_SHOW);
      return;
    }
    delete window;
  }
  *cancel = VARIANT_TRUE;
  const std::wstring text =
      ResourceStrings::load(CFrameworkWindow::resourceModule(), IDS_FAIL_WINDOW);
  ::MessageBoxW(opener->hwnd(), text.c_str(), nullptr, MB_ICONERROR);
}
