#include "LaunchObserverSink.h"

#include "Bstr.h"
#include "ComPtr.h"
#include "FrameworkLib.h"
#include "LaunchParametersText.h"
#include "UniqueHandle.h"
#include "Variant.h"

#include <map>
#include <new>
#include <string>

namespace {

constexpr const wchar_t* kRestartVariable = L"MIRDEX_LAUNCH_OBSERVER_RESTART";

std::wstring environment(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableW(name, value, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

}  // namespace

std::span<const InterfaceEntry<LaunchObserverSink>> LaunchObserverSink::interfaceMap() noexcept {
  static constexpr InterfaceEntry<LaunchObserverSink> map[] = {
      interfaceEntry<LaunchObserverSink, IDispatch>(IID_IDispatch)};
  return map;
}

HRESULT LaunchObserverSink::queryExtra(REFIID iid, void** out) noexcept {
  if (iid != DIID__IFrameworkControllerEvents) return E_NOINTERFACE;
  *out = static_cast<IDispatch*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP LaunchObserverSink::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                        EXCEPINFO*, UINT*) noexcept {
  if (result) ::VariantInit(result);
  if (!(flags & DISPATCH_METHOD) || (id != 1 && id != DISPID_VALUE)) return DISP_E_MEMBERNOTFOUND;
  if (!params || params->cArgs != 1 || V_VT(&params->rgvarg[0]) != VT_DISPATCH) return DISP_E_BADPARAMCOUNT;
  IDispatch* const framework = V_DISPATCH(&params->rgvarg[0]);
  try {
    append(describe(id == 1 ? L"event" : L"handler", framework));
    if (id != 1) return S_OK;
    if (!m_restarted && !environment(kRestartVariable).empty()) {
      m_restarted = true;
      // Asked once: the program the restart starts inherits this
      // environment and must not restart in turn.
      ::SetEnvironmentVariableW(kRestartVariable, nullptr);
      restart(framework);
    }
    if (!m_held) {
      m_held = true;
      const std::wstring hold = environment(L"MIRDEX_LAUNCH_OBSERVER_HOLD");
      if (!hold.empty()) {
        KernelHandle release(::OpenEventW(SYNCHRONIZE, FALSE, hold.c_str()));
        if (release) ::WaitForSingleObject(release.get(), 60000);
      }
    }
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

void LaunchObserverSink::restart(IDispatch* framework) noexcept {
  ComPtr<IFrameworkController> controller;
  if (framework && SUCCEEDED(framework->QueryInterface(IID_IFrameworkController, controller.putVoid()))) {
    controller->Restart();
  }
}

std::wstring LaunchObserverSink::describe(const wchar_t* kind, IDispatch* framework) {
  LARGE_INTEGER now = {};
  ::QueryPerformanceCounter(&now);
  std::wstring line = std::wstring(kind) + L"\t" + std::to_wstring(now.QuadPart) + L"\t" +
                      std::to_wstring(::GetCurrentThreadId());
  ComPtr<IFrameworkController> controller;
  ComPtr<IStringObjectMap> params;
  if (framework && SUCCEEDED(framework->QueryInterface(IID_IFrameworkController, controller.putVoid()))) {
    controller->GetLaunchString(VARIANT_TRUE, params.put());
  }
  std::map<std::wstring, Variant> entries = mapEntries(params.get());
  for (const wchar_t* key : {L"URL", L"scheme", L"path"}) {
    const auto found = entries.find(key);
    line += L"\t" + (found == entries.end() ? std::wstring(L"(none)") : parameterText(found->second));
  }
  const auto query = entries.find(L"query");
  line += L"\t" + (query == entries.end() ? std::wstring(L"(none)") : queryText(query->second, L"(none)"));
  const auto age = entries.find(L"age");
  line += L"\t" + (age == entries.end() ? std::wstring(L"(none)") : std::to_wstring(age->second.type()));
  return line;
}

void LaunchObserverSink::append(const std::wstring& line) noexcept {
  const std::wstring path = environment(L"MIRDEX_LAUNCH_OBSERVER_LOG");
  if (path.empty()) return;
  const std::wstring withEnd = line + L"\n";
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, withEnd.c_str(), static_cast<int>(withEnd.size()), nullptr,
                                          0, nullptr, nullptr);
  if (bytes <= 0) return;
  std::string utf8(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, withEnd.c_str(), static_cast<int>(withEnd.size()), utf8.data(), bytes, nullptr,
                        nullptr);
  KernelHandle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  DWORD written = 0;
  ::WriteFile(file.get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}
