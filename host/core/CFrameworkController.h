#pragma once
// The controller: the one object through which pages and plug-ins reach
// the host. It keeps the service table (services found in the registry or
// added at run time, created on first use and handed out by name), creates
// the start-up plug-ins, and detaches every loaded service at shut-down.
//
// Created only by the host (there is no class object), on the main thread,
// which is a single-threaded apartment; every member runs there. It keeps
// the module locked for its whole life.
//
// Host-side operations, in the order the host calls them:
//   create        -> the object, with its first reference
//   setMainWindow -> the main window (not owned)
//   init          -> scan services and start-ups, machine level then user;
//                    start the launch-string monitor
//   ... serving ...
//   setMainWindow(nullptr) when the main window goes away
//   destroy       -> stop the launch-string monitor, detach every loaded
//                    service, run the clean-up list
//   last release  -> frees the table and with it every service instance
#include "Bstr.h"
#include "ComObject.h"
#include "ComPtr.h"
#include "ConnectionPoint.h"
#include "ConnectionPointContainerImpl.h"
#include "DispatchImpl.h"
#include "FrameworkLib.h"
#include "InterfaceMap.h"
#include "LaunchStringThread.h"
#include "ObjectSafetyImpl.h"
#include "ObjectWithSiteImpl.h"
#include "PluginInfo.h"
#include "PropertyMap.h"
#include "ProtectedValueCodec.h"
#include "ScriptCallback.h"
#include "ServiceEntry.h"

#include <windows.h>

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

class CFrameworkWindow;
class Logger;

class CFrameworkController : public ConnectionPointContainerImpl,
                             public ObjectWithSiteImpl,
                             public ObjectSafetyImpl,
                             public DispatchImpl<IFrameworkController, &IID_IFrameworkController> {
public:
  using Ptr = ComPtr<ComObject<CFrameworkController>>;
  // The millisecond clock that dates launch strings (the system tick count
  // unless a test sets another).
  using TickSource = DWORD(WINAPI*)();

  // A launch string is handed out for this long after its receipt, in ms.
  static constexpr DWORD kLaunchStringLifetime = 600000;

  // Creates the controller (finalConstruct included) into out, which holds
  // the first reference. out.get() converts to IFrameworkController*.
  // E_OUTOFMEMORY when it cannot be allocated.
  static HRESULT create(Ptr& out) noexcept;

  // The controller behind an interface of it, in this apartment; null for
  // anything else, including a proxy to a controller of another apartment.
  // No reference is added.
  static CFrameworkController* fromInterface(IUnknown* object) noexcept;

  static std::span<const InterfaceEntry<CFrameworkController>> interfaceMap() noexcept;

  HRESULT finalConstruct() noexcept;
  void finalRelease() noexcept;

  // Scans the service and start-up entries at machine level, then at user
  // level: services are registered, start-ups created at once. Reports no
  // result; failures are logged. Raises std::bad_alloc.
  void init();
  // Shut-down: detaches every loaded service (instances stay held until
  // the controller itself goes) and runs the clean-up list. Raises
  // std::bad_alloc.
  void destroy();

  void setMainWindow(CFrameworkWindow* window) noexcept { m_mainWindow = window; }
  CFrameworkWindow* mainWindow() const noexcept { return m_mainWindow; }

  void setTickSource(TickSource source) noexcept { m_tickSource = source ? source : &::GetTickCount; }

  // The script by which OpenWindow asks the main page to open a window:
  // gg_OpenWindow('name', 'url'[, width][, height]), backslashes in url
  // doubled, a width or height of 0 left out. Raises std::bad_alloc.
  static std::wstring openWindowScript(std::wstring_view name, std::wstring_view url, LONG width, LONG height);

  // IFrameworkController. Failures of the work are logged and answered
  // with S_OK and an empty result; a null result pointer is E_POINTER.
  STDMETHODIMP get_Name(BSTR* pName) noexcept override;
  STDMETHODIMP get_Desc(BSTR* pDesc) noexcept override;
  STDMETHODIMP get_Locale(BSTR* pLocale) noexcept override;
  STDMETHODIMP put_Locale(BSTR newVal) noexcept override;
  STDMETHODIMP get_BaseUrl(BSTR* pUrl) noexcept override;
  STDMETHODIMP get_ProductVersion(BSTR* pVersion) noexcept override;
  STDMETHODIMP GetProperty(BSTR key, VARIANT* pValue) noexcept override;
  STDMETHODIMP SetProperty(BSTR key, VARIANT value) noexcept override;
  STDMETHODIMP LoadService(BSTR name, IFrameworkPlugin** pService) noexcept override;
  STDMETHODIMP AddService(BSTR name, BSTR value, IFrameworkPlugin* instance) noexcept override;
  STDMETHODIMP RemoveService(BSTR name, BSTR value, IFrameworkPlugin* instance) noexcept override;
  STDMETHODIMP get_MainWindow(IDispatch** pWindow) noexcept override;
  STDMETHODIMP OpenWindow(BSTR Name, BSTR url, LONG width, LONG height) noexcept override;
  STDMETHODIMP get_onLaunchString(VARIANT* pHandler) noexcept override;
  STDMETHODIMP put_onLaunchString(VARIANT newVal) noexcept override;
  STDMETHODIMP GetLaunchString(VARIANT_BOOL keep, IStringObjectMap** pParams) noexcept override;
  STDMETHODIMP SetLaunchString(BSTR url) noexcept override;
  STDMETHODIMP Restart() noexcept override;
  STDMETHODIMP get_onExternalAccess(VARIANT* pHandler) noexcept override;
  STDMETHODIMP put_onExternalAccess(VARIANT newVal) noexcept override;
  STDMETHODIMP SetExternalAccess(BSTR path, LONG cid, VARIANT_BOOL grant) noexcept override;
  STDMETHODIMP GetExternalAccess() noexcept override;
  STDMETHODIMP ChangeMainWindow(BSTR op, VARIANT p1, VARIANT p2) noexcept override;
  STDMETHODIMP get_onChangeMainWindow(VARIANT* pHandler) noexcept override;
  STDMETHODIMP put_onChangeMainWindow(VARIANT newVal) noexcept override;
  STDMETHODIMP Encode(BSTR purpose, BSTR src, BSTR* pCode) noexcept override;
  STDMETHODIMP Decode(BSTR purpose, BSTR src, BSTR* pText) noexcept override;

protected:
  CFrameworkController();
  ~CFrameworkController();
  CFrameworkController(const CFrameworkController&) = delete;
  CFrameworkController& operator=(const CFrameworkController&) = delete;

private:
  // (value name, data) pairs read from one registry key.
  using RegistryValues = std::vector<std::pair<std::wstring, std::wstring>>;
  using ServiceTable = std::unordered_map<std::wstring, ServiceEntry>;

  // Appends the string values of root\subkey to values; the number read.
  size_t findRegistryValues(HKEY root, const wchar_t* subkey, RegistryValues& values);
  void initServices(const RegistryValues& values);
  void initStartups(const RegistryValues& values);

  void registerPlugin(const PluginInfo& record);
  // The direct record a name leads to, following aliases; null for an
  // unknown name or an alias cycle.
  ServiceEntry::Candidate findPlugin(const std::wstring& name) const;
  // Creates and attaches the record's plug-in unless it has one; true when
  // the record holds an instance afterwards.
  bool loadPlugin(PluginInfo& record);

  // Work that belongs to the launch-string monitor and to external access:
  // the places in start-up and shut-down where it happens.
  void startLaunchStringMonitor();
  void stopLaunchStringMonitor();
  void createAccessAnnounceWindow();
  void destroyAccessAnnounceWindow();
  void clearAccessList();

  // The parameters object of a launch string received age ms ago; null
  // when it cannot be created.
  ComPtr<IStringObjectMap> launchStringParameters(const std::wstring& url, DWORD age);
  // The debug lines that show what a new launch string holds.
  void dumpLaunchString();

  IFrameworkController* self() noexcept { return this; }

  ConnectionPoint m_events;
  CFrameworkWindow* m_mainWindow = nullptr;
  Logger* m_logger = nullptr;
  Bstr m_locale;
  ServiceTable m_services;
  PropertyMap m_properties;
  ProtectedValueCodec m_protectedValues;

  // The launch string held (empty when none) and the tick of its receipt.
  std::wstring m_launchString;
  DWORD m_launchStringTick = 0;
  TickSource m_tickSource = &::GetTickCount;
  ScriptCallback m_launchStringHandler;
  ScriptCallback m_changeMainWindowHandler;

  // Last, so that it goes first: its destruction waits for the thread.
  LaunchStringThread m_launchStringMonitor;
};
