#include "LaunchObserverSink.h"

#include "Bstr.h"
#include "ComPtr.h"
#include "FrameworkLib.h"
#include "UniqueHandle.h"
#include "Variant.h"

#include <map>
#include <new>
#include <string>

namespace {

std::wstring environment(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableW(name, value, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

std::wstring textOf(const VARIANT& value) {
  if (V_VT(&value) == VT_BSTR) return V_BSTR(&value) ? V_BSTR(&value) : L"";
  ComPtr<IObjectList> list;
  if (V_VT(&value) == VT_DISPATCH && V_DISPATCH(&value) &&
      SUCCEEDED(V_DISPATCH(&value)->QueryInterface(IID_IObjectList, list.putVoid()))) {
    LONG size = 0;
    list->get_size(&size);
    std::wstring joined = L"[";
    for (LONG i = 0; i < size; ++i) {
      Variant item;
      list->Get(i, item.put());
      if (i) joined += L",";
      joined += textOf(item);
    }
    return joined + L"]";
  }
  return L"?";
}

std::map<std::wstring, Variant> entriesOf(IStringObjectMap* map) {
  std::map<std::wstring, Variant> out;
  ComPtr<IObjectList> keys;
  if (!map || FAILED(map->get_keys(keys.put())) || !keys) return out;
  LONG size = 0;
  keys->get_size(&size);
  for (LONG i = 0; i < size; ++i) {
    Variant key;
    keys->Get(i, key.put());
    if (key.type() != VT_BSTR || !V_BSTR(&key)) continue;
    Variant value;
    map->Get(V_BSTR(&key), value.put());
    out.emplace(V_BSTR(&key), std::move(value));
  }
  return out;
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

STDMETHODIMP LaunchObserverSink::GetTypeInfoCount(UINT* count) noexcept {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP LaunchObserverSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP LaunchObserverSink::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                        EXCEPINFO*, UINT*) noexcept {
  if (result) ::VariantInit(result);
  if (!(flags & DISPATCH_METHOD) || (id != 1 && id != DISPID_VALUE)) return DISP_E_MEMBERNOTFOUND;
  if (!params || params->cArgs != 1 || V_VT(&params->rgvarg[0]) != VT_DISPATCH) return DISP_E_BADPARAMCOUNT;
  try {
    append(describe(id == 1 ? L"event" : L"handler", V_DISPATCH(&params->rgvarg[0])));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  if (id == 1 && !m_held) {
    m_held = true;
    const std::wstring hold = environment(L"MIRDEX_LAUNCH_OBSERVER_HOLD");
    if (!hold.empty()) {
      KernelHandle release(::OpenEventW(SYNCHRONIZE, FALSE, hold.c_str()));
      if (release) ::WaitForSingleObject(release.get(), 60000);
    }
  }
  return S_OK;
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
  std::map<std::wstring, Variant> entries = entriesOf(params.get());
  for (const wchar_t* key : {L"URL", L"scheme", L"path"}) {
    const auto found = entries.find(key);
    line += L"\t" + (found == entries.end() ? std::wstring(L"(none)") : textOf(found->second));
  }
  std::wstring query = L"(none)";
  if (const auto found = entries.find(L"query"); found != entries.end() && found->second.type() == VT_DISPATCH) {
    ComPtr<IStringObjectMap> map;
    if (V_DISPATCH(&found->second) &&
        SUCCEEDED(V_DISPATCH(&found->second)->QueryInterface(IID_IStringObjectMap, map.putVoid()))) {
      query.clear();
      for (const auto& [name, value] : entriesOf(map.get())) {
        if (!query.empty()) query += L";";
        query += name + L"=" + textOf(value);
      }
    }
  }
  line += L"\t" + query;
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
