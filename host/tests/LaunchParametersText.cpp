#include "LaunchParametersText.h"

#include "ComPtr.h"

std::wstring parameterText(const VARIANT& value) {
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
      joined += parameterText(item);
    }
    return joined + L"]";
  }
  return L"?";
}

std::map<std::wstring, Variant> mapEntries(IStringObjectMap* map) {
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

std::wstring queryText(const VARIANT& query, const wchar_t* whenNoMap) {
  ComPtr<IStringObjectMap> map;
  if (V_VT(&query) != VT_DISPATCH || !V_DISPATCH(&query) ||
      FAILED(V_DISPATCH(&query)->QueryInterface(IID_IStringObjectMap, map.putVoid()))) {
    return whenNoMap;
  }
  std::wstring out;
  for (const auto& [name, value] : mapEntries(map.get())) {
    if (!out.empty()) out += L";";
    out += name + L"=" + parameterText(value);
  }
  return out;
}
