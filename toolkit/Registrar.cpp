#include "Registrar.h"

#include "ComPtr.h"
#include "UniqueHandle.h"

#include <oleauto.h>

#include <algorithm>
#include <new>

namespace {

constexpr size_t indexOf(RegistryRoot root) noexcept { return static_cast<size_t>(root); }

bool isNotFound(LONG error) noexcept {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

HRESULT fromWin32(LONG error) noexcept { return HRESULT_FROM_WIN32(static_cast<DWORD>(error)); }

std::wstring_view trimSlashes(std::wstring_view path) noexcept {
  while (!path.empty() && path.front() == L'\\') path.remove_prefix(1);
  while (!path.empty() && path.back() == L'\\') path.remove_suffix(1);
  return path;
}

bool equalNoCase(std::wstring_view a, std::wstring_view b) noexcept {
  return a.size() == b.size() &&
         ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

LONG deleteIfEmpty(HKEY base, const std::wstring& path) noexcept {
  DWORD subkeys = 0;
  DWORD values = 0;
  {
    RegKey key;
    const LONG opened = ::RegOpenKeyExW(base, path.c_str(), 0, KEY_QUERY_VALUE, key.put());
    if (opened != ERROR_SUCCESS) return opened;
    const LONG queried = ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys,
                                            nullptr, nullptr, &values, nullptr, nullptr,
                                            nullptr, nullptr);
    if (queried != ERROR_SUCCESS) return queried;
  }
  if (subkeys != 0 || values != 0) return ERROR_SUCCESS;
  return ::RegDeleteKeyW(base, path.c_str());
}

template <typename Fn>
Fn oleautProc(const char* name) noexcept {
  HMODULE oleaut = ::GetModuleHandleW(L"oleaut32.dll");
  if (!oleaut) return nullptr;
  // Through the generic function type, which converts to any other.
  auto generic = reinterpret_cast<void (*)()>(::GetProcAddress(oleaut, name));
  return reinterpret_cast<Fn>(generic);
}

}  // namespace

Registrar::Registrar()
    : m_roots{Location{HKEY_CLASSES_ROOT, {}}, Location{HKEY_LOCAL_MACHINE, {}},
              Location{HKEY_CURRENT_USER, {}}} {}

void Registrar::addReplacement(std::wstring_view name, std::wstring_view value) {
  for (auto& [known, text] : m_replacements) {
    if (equalNoCase(known, name)) {
      text.assign(value);
      return;
    }
  }
  m_replacements.emplace_back(std::wstring(name), std::wstring(value));
}

std::wstring Registrar::expand(std::wstring_view text) const {
  std::wstring out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const wchar_t c = text[i];
    if (c != L'%') {
      out.push_back(c);
      ++i;
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == L'%') {
      out.push_back(L'%');
      i += 2;
      continue;
    }
    const size_t close = text.find(L'%', i + 1);
    bool replaced = false;
    if (close != std::wstring_view::npos) {
      const std::wstring_view name = text.substr(i + 1, close - i - 1);
      for (const auto& [known, value] : m_replacements) {
        if (equalNoCase(known, name)) {
          out += value;
          i = close + 1;
          replaced = true;
          break;
        }
      }
    }
    if (!replaced) {
      out.push_back(c);
      ++i;
    }
  }
  return out;
}

void Registrar::setPerUserClasses(bool perUser) {
  if (perUser) {
    mapRoot(RegistryRoot::ClassesRoot, HKEY_CURRENT_USER, L"Software\\Classes");
  } else {
    mapRoot(RegistryRoot::ClassesRoot, HKEY_CLASSES_ROOT, L"");
  }
}

void Registrar::mapRoot(RegistryRoot root, HKEY base, std::wstring_view prefix) {
  m_roots[indexOf(root)] = Location{base, std::wstring(trimSlashes(prefix))};
}

Registrar::Location Registrar::locate(const RegistryEntry& entry) const {
  const Location& root = m_roots[indexOf(entry.root)];
  const std::wstring key = expand(entry.key ? entry.key : L"");
  const std::wstring_view sub = trimSlashes(key);
  Location out{root.base, root.path};
  if (!sub.empty()) {
    if (!out.path.empty()) out.path += L'\\';
    out.path += sub;
  }
  return out;
}

HRESULT Registrar::writeOne(const RegistryEntry& entry) const {
  if (entry.valueName && entry.type != REG_SZ && entry.type != REG_EXPAND_SZ &&
      entry.type != REG_DWORD) {
    return E_INVALIDARG;
  }
  const Location where = locate(entry);
  RegKey key;
  LONG error = ::RegCreateKeyExW(where.base, where.path.c_str(), 0, nullptr,
                                 REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, key.put(),
                                 nullptr);
  if (error != ERROR_SUCCESS) return fromWin32(error);
  if (!entry.valueName) return S_OK;

  const std::wstring name = expand(entry.valueName);
  if (entry.type == REG_DWORD) {
    const DWORD number = entry.number;
    error = ::RegSetValueExW(key.get(), name.c_str(), 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&number), sizeof(number));
  } else {
    const std::wstring text = expand(entry.text ? entry.text : L"");
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    error = ::RegSetValueExW(key.get(), name.c_str(), 0, entry.type,
                             reinterpret_cast<const BYTE*>(text.c_str()), bytes);
  }
  return error == ERROR_SUCCESS ? S_OK : fromWin32(error);
}

HRESULT Registrar::write(std::span<const RegistryEntry> entries) const noexcept {
  try {
    for (const RegistryEntry& entry : entries) {
      if ((entry.flags & RegistryEntry::kDeleteTree) && !(entry.flags & RegistryEntry::kKeepKey)) {
        const Location where = locate(entry);
        const LONG error = ::RegDeleteTreeW(where.base, where.path.c_str());
        if (error != ERROR_SUCCESS && !isNotFound(error)) return fromWin32(error);
      }
    }
    for (const RegistryEntry& entry : entries) {
      const HRESULT hr = writeOne(entry);
      if (FAILED(hr)) return hr;
    }
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT Registrar::remove(std::span<const RegistryEntry> entries) const noexcept {
  try {
    return removeAll(entries);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT Registrar::removeAll(std::span<const RegistryEntry> entries) const {
  HRESULT first = S_OK;
  auto note = [&first](LONG error) {
    if (error != ERROR_SUCCESS && !isNotFound(error) && SUCCEEDED(first)) first = fromWin32(error);
  };

  struct Key {
    Location where;
    unsigned flags;
    size_t depth;
  };
  std::vector<Key> keys;

  for (const RegistryEntry& entry : entries) {
    Location where = locate(entry);
    if (entry.valueName) {
      RegKey key;
      LONG error = ::RegOpenKeyExW(where.base, where.path.c_str(), 0, KEY_SET_VALUE, key.put());
      if (error == ERROR_SUCCESS) error = ::RegDeleteValueW(key.get(), expand(entry.valueName).c_str());
      note(error);
    }
    auto same = std::find_if(keys.begin(), keys.end(), [&where](const Key& k) {
      return k.where.base == where.base && equalNoCase(k.where.path, where.path);
    });
    if (same != keys.end()) {
      same->flags |= entry.flags;
    } else {
      const size_t depth = static_cast<size_t>(std::count(where.path.begin(), where.path.end(), L'\\'));
      keys.push_back({std::move(where), entry.flags, depth});
    }
  }

  // Keys that writing created on the way to a table key, below another
  // table key (such as shell and shell\open under a protocol key), are the
  // table's too.
  const size_t explicitCount = keys.size();
  for (size_t i = 0; i < explicitCount; ++i) {
    std::vector<std::wstring> between;
    std::wstring path = keys[i].where.path;
    bool underTableKey = false;
    for (size_t cut = path.rfind(L'\\'); cut != std::wstring::npos; cut = path.rfind(L'\\')) {
      path.resize(cut);
      const HKEY base = keys[i].where.base;
      auto found = std::find_if(keys.begin(), keys.begin() + static_cast<ptrdiff_t>(explicitCount),
                                [&](const Key& k) {
                                  return k.where.base == base && equalNoCase(k.where.path, path);
                                });
      if (found != keys.begin() + static_cast<ptrdiff_t>(explicitCount)) {
        underTableKey = true;
        break;
      }
      between.push_back(path);
    }
    if (!underTableKey) continue;
    for (std::wstring& p : between) {
      const HKEY base = keys[i].where.base;
      const bool known = std::any_of(keys.begin(), keys.end(), [&](const Key& k) {
        return k.where.base == base && equalNoCase(k.where.path, p);
      });
      if (known) continue;
      const size_t depth = static_cast<size_t>(std::count(p.begin(), p.end(), L'\\'));
      keys.push_back({Location{base, std::move(p)}, 0u, depth});
    }
  }

  // Children before their parents, whatever the table's order.
  std::stable_sort(keys.begin(), keys.end(),
                   [](const Key& a, const Key& b) { return a.depth > b.depth; });
  for (const Key& key : keys) {
    // The root of a hive itself is never deleted.
    if (key.where.path.empty() || (key.flags & RegistryEntry::kKeepKey)) continue;
    if (key.flags & RegistryEntry::kDeleteTree) {
      note(::RegDeleteTreeW(key.where.base, key.where.path.c_str()));
    } else {
      note(deleteIfEmpty(key.where.base, key.where.path));
    }
  }
  return first;
}

HRESULT Registrar::registerTypeLibrary(const std::wstring& path, bool perUser) noexcept {
  ComPtr<ITypeLib> library;
  HRESULT hr = ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put());
  if (FAILED(hr)) return hr;
  OLECHAR* file = const_cast<OLECHAR*>(path.c_str());
  if (!perUser) return ::RegisterTypeLib(library.get(), file, nullptr);
  using ForUser = HRESULT(WINAPI*)(ITypeLib*, OLECHAR*, OLECHAR*);
  auto registerForUser = oleautProc<ForUser>("RegisterTypeLibForUser");
  if (!registerForUser) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  return registerForUser(library.get(), file, nullptr);
}

HRESULT Registrar::unregisterTypeLibrary(const std::wstring& path, bool perUser) noexcept {
  ComPtr<ITypeLib> library;
  HRESULT hr = ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put());
  if (FAILED(hr)) return hr;
  TLIBATTR* attr = nullptr;
  hr = library->GetLibAttr(&attr);
  if (FAILED(hr)) return hr;
  const TLIBATTR copy = *attr;
  library->ReleaseTLibAttr(attr);
  if (!perUser) {
    return ::UnRegisterTypeLib(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid,
                               copy.syskind);
  }
  using ForUser = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
  auto unregisterForUser = oleautProc<ForUser>("UnRegisterTypeLibForUser");
  if (!unregisterForUser) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  return unregisterForUser(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid,
                           copy.syskind);
}
