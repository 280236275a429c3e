#pragma once
// Follows the browser events of one CFrameworkWindow: the page's title
// becomes the window's, and a page that opens a window gets a new
// CFrameworkWindow over its own.
#include "InterfaceMap.h"
#include "SinkConnection.h"
#include "UntypedDispatch.h"

#include <exdisp.h>
#include <oaidl.h>

#include <span>

class CFrameworkWindow;

class CFrameworkUISink : public UntypedDispatch<> {
public:
  explicit CFrameworkUISink(CFrameworkWindow* window) noexcept : m_pWindow(window) {}
  ~CFrameworkUISink() = default;
  CFrameworkUISink(const CFrameworkUISink&) = delete;
  CFrameworkUISink& operator=(const CFrameworkUISink&) = delete;

  static std::span<const InterfaceEntry<CFrameworkUISink>> interfaceMap() noexcept;

  // Subscribes to the browser's events (ending an earlier subscription).
  HRESULT advise(IWebBrowser2* browser) noexcept;
  // Ends the subscription and forgets the window; events that still arrive
  // are ignored.
  void disconnect() noexcept;
  bool connected() const noexcept { return m_connection.connected(); }
  DWORD cookie() const noexcept { return m_connection.cookie(); }

  // IDispatch: DWebBrowserEvents2, of which TitleChange and NewWindow2 are
  // handled and every other event is accepted and ignored.
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                             DISPID* ids) noexcept override;
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argError) noexcept override;

private:
  void onTitleChange(const VARIANT& text) noexcept;
  // Opens the page's new window; on failure cancels the navigation and
  // tells the user.
  void onNewWindow2(IDispatch** browser, VARIANT_BOOL* cancel) noexcept;

  CFrameworkWindow* m_pWindow;
  SinkConnection m_connection;
};
