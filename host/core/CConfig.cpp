#include "CConfig.h"

#include "ComObject.h"
#include "Variant.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>

namespace {

constexpr wchar_t kMachinePath[] = L"SOFTWARE\\Mirdex\\Config";
constexpr wchar_t kUserPath[] = L"Software\\Mirdex\\Config";
constexpr REGSAM kAccess = KEY_READ | KEY_WRITE;

bool isIntegerType(VARTYPE type) noexcept {
  switch (type) {
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_UINT:
      return true;
    default:
      return false;
  }
}

bool isBlank(wchar_t c) noexcept {
  return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

// A signed decimal number that fills the whole text: leading blanks and a
// sign allowed, saturating at the 32-bit limits. An empty text reads as 0;
// a text of blanks or a sign alone is not a number.
std::optional<LONG> wholeNumber(std::wstring_view text) noexcept {
  if (text.empty()) return 0;
  size_t pos = 0;
  while (pos < text.size() && isBlank(text[pos])) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == L'+' || text[pos] == L'-')) {
    negative = text[pos] == L'-';
    ++pos;
  }
  const size_t digitsStart = pos;
  constexpr long long kBeyond = static_cast<long long>(LONG_MAX) + 2;
  long long magnitude = 0;
  while (pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9') {
    if (magnitude < kBeyond) magnitude = magnitude * 10 + (text[pos] - L'0');
    ++pos;
  }
  if (pos == digitsStart || pos != text.size()) return std::nullopt;
  const long long value = negative ? -magnitude : magnitude;
  if (value > LONG_MAX) return LONG_MAX;
  if (value < LONG_MIN) return LONG_MIN;
  return static_cast<LONG>(value);
}

bool equalsIgnoringCase(std::wstring_view a, const wchar_t* b) noexcept {
  return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b, -1, TRUE) == CSTR_EQUAL;
}

std::optional<bool> booleanWord(std::wstring_view text) noexcept {
  for (const wchar_t* word : {L"yes", L"y", L"true", L"t"}) {
    if (equalsIgnoringCase(text, word)) return true;
  }
  for (const wchar_t* word : {L"no", L"n", L"false", L"f"}) {
    if (equalsIgnoringCase(text, word)) return false;
  }
  return std::nullopt;
}

// The standard variant conversion into a new variant.
HRESULT convert(const VARIANT& source, VARTYPE type, Variant& out) noexcept {
  out.clear();
  return ::VariantChangeType(&out, const_cast<VARIANT*>(&source), 0, type);
}

// The value as a registry number: the standard conversion, with the range
// checked here, because some systems' conversions pass a negative 32-bit
// number through as its unsigned bit pattern.
bool toDword(const VARIANT& source, DWORD& out) noexcept {
  Variant wide;
  if (FAILED(convert(source, VT_I8, wide))) return false;
  if (V_I8(&wide) < 0 || V_I8(&wide) > static_cast<LONGLONG>(MAXDWORD)) return false;
  out = static_cast<DWORD>(V_I8(&wide));
  return true;
}

// Hands result to a caller's variant, clearing what it held.
void deliver(Variant& result, VARIANT* out) noexcept {
  ::VariantClear(out);
  result.detach(out);
}

}  // namespace

CConfig::CConfig(std::wstring name, bool user) : m_name(std::move(name)), m_user(user) {}

std::span<const InterfaceEntry<CConfig>> CConfig::interfaceMap() noexcept {
  static constexpr InterfaceEntry<CConfig> map[] = {
      interfaceEntry<CConfig, IConfig>(IID_IConfig),
      interfaceEntry<CConfig, IFrameworkPlugin, IConfig>(IID_IFrameworkPlugin),
      interfaceEntry<CConfig, IDispatch, IConfig>(IID_IDispatch),
      interfaceEntry<CConfig, IObjectSafety>(IID_IObjectSafety),
  };
  return map;
}

STDMETHODIMP CConfig::get_PluginName(BSTR* name) noexcept { return copyText(L"Config,1.0", name); }

STDMETHODIMP CConfig::get_PluginDesc(BSTR* desc) noexcept {
  return copyText(L"Configurations storage", desc);
}

STDMETHODIMP CConfig::CreateConfig(BSTR name, VARIANT_BOOL user, IConfig** config) noexcept {
  if (!config) return E_POINTER;
  *config = nullptr;
  try {
    return ComObject<CConfig>::createInstance(
        IID_IConfig, reinterpret_cast<void**>(config),
        std::wstring(name ? name : L"", ::SysStringLen(name)), user != VARIANT_FALSE);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CConfig::get_Name(BSTR* name) noexcept { return copyText(m_name, name); }

STDMETHODIMP CConfig::get_user(VARIANT_BOOL* user) noexcept {
  if (!user) return E_POINTER;
  *user = m_user ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP CConfig::ClearConfig() noexcept {
  // The cached handle would keep pointing at the deleted key.
  m_key.reset();
  try {
    ::RegDeleteTreeW(rootKey(), sectionPath().c_str());
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CConfig::ClearValue(BSTR key) noexcept {
  if (HKEY section = readerKey()) ::RegDeleteValueW(section, key);
  return S_OK;
}

STDMETHODIMP CConfig::Flush(VARIANT_BOOL heavy) noexcept {
  if (heavy != VARIANT_FALSE) {
    if (m_key) ::RegFlushKey(m_key.get());
  } else {
    m_key.reset();
  }
  return S_OK;
}

STDMETHODIMP CConfig::GetValue(BSTR key, VARIANT* value) noexcept {
  if (!value) return E_POINTER;
  try {
    const StoredValue stored = read(key);
    Variant result;
    switch (stored.kind) {
      case StoredValue::Kind::Text:
        result = Variant(std::wstring_view(stored.text));
        break;
      case StoredValue::Kind::Number32:
        V_VT(&result) = VT_UI4;
        V_UI4(&result) = static_cast<ULONG>(stored.number);
        break;
      case StoredValue::Kind::Number64:
        V_VT(&result) = VT_UI8;
        V_UI8(&result) = stored.number;
        break;
      case StoredValue::Kind::Nothing:
        break;
    }
    deliver(result, value);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CConfig::GetValue2(BSTR key, VARIANT def, VARIANT* value) noexcept {
  if (!value) return E_POINTER;
  try {
    // A default passed by reference (a script variable) counts as its value.
    Variant result;
    const HRESULT copied = ::VariantCopyInd(&result, &def);
    if (copied == E_OUTOFMEMORY) return copied;
    if (FAILED(copied)) result.clear();
    if (!readerKey()) {
      deliver(result, value);
      return S_OK;
    }
    const StoredValue stored = read(key);
    const VARTYPE type = result.type();
    if (isIntegerType(type)) {
      // Read as a 32-bit number, then given the default's type; a number
      // that type cannot hold leaves the default.
      if (const std::optional<LONG> number = integerOf(stored)) {
        Variant converted;
        if (SUCCEEDED(convert(Variant(static_cast<long>(*number)), type, converted))) {
          result = std::move(converted);
        }
      }
    } else if (type == VT_BOOL) {
      if (const std::optional<bool> flag = booleanOf(stored)) result = Variant(*flag);
    } else if (const std::optional<std::wstring> text = textOf(stored)) {
      // A string default, no default, or one of a type without a reading
      // of its own: the text.
      result = Variant(std::wstring_view(*text));
    } else if (type != VT_BSTR) {
      // Absent: the default's own text form, or a null string when it has
      // none (an empty default has none).
      Variant fallback;
      if (type == VT_EMPTY || FAILED(convert(result, VT_BSTR, fallback))) {
        fallback = Variant(static_cast<const wchar_t*>(nullptr));
      }
      result = std::move(fallback);
    }
    deliver(result, value);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CConfig::SetValue(BSTR key, VARIANT value) noexcept {
  HKEY section = writerKey();
  if (!section) return S_OK;
  Variant source;
  const HRESULT copied = ::VariantCopyInd(&source, &value);
  if (copied == E_OUTOFMEMORY) return copied;
  if (FAILED(copied)) return S_OK;

  DWORD existing = REG_NONE;
  const bool exists =
      ::RegQueryValueExW(section, key, nullptr, &existing, nullptr, nullptr) == ERROR_SUCCESS;
  // An existing text or number keeps its type; anything else takes the
  // type of the new value. A value that cannot be converted changes nothing
  // (whatever the name held stays).
  bool asNumber = isIntegerType(source.type());
  if (exists && existing == REG_SZ) asNumber = false;
  if (exists && existing == REG_DWORD) asNumber = true;

  DWORD number = 0;
  Variant converted;
  if (asNumber) {
    if (toDword(source, number)) writeNumber(section, key, number);
  } else if (source.type() == VT_BSTR) {
    writeText(section, key, V_BSTR(&source), ::SysStringLen(V_BSTR(&source)));
  } else if (SUCCEEDED(convert(source, VT_BSTR, converted))) {
    writeText(section, key, V_BSTR(&converted), ::SysStringLen(V_BSTR(&converted)));
  }
  return S_OK;
}

STDMETHODIMP CConfig::GetString(BSTR key, BSTR def, BSTR* value) noexcept {
  if (!value) return E_POINTER;
  *value = nullptr;
  try {
    if (const std::optional<std::wstring> text = textOf(read(key))) return copyText(*text, value);
    if (!def) return S_OK;
    return copyText(std::wstring_view(def, ::SysStringLen(def)), value);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CConfig::SetString(BSTR key, BSTR value) noexcept {
  if (HKEY section = writerKey()) writeText(section, key, value, ::SysStringLen(value));
  return S_OK;
}

STDMETHODIMP CConfig::GetInteger(BSTR key, LONG def, LONG* value) noexcept {
  if (!value) return E_POINTER;
  try {
    *value = integerOf(read(key)).value_or(def);
    return S_OK;
  } catch (const std::bad_alloc&) {
    *value = def;
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CConfig::SetInteger(BSTR key, LONG value) noexcept {
  if (HKEY section = writerKey()) writeNumber(section, key, static_cast<DWORD>(value));
  return S_OK;
}

STDMETHODIMP CConfig::GetBoolean(BSTR key, VARIANT_BOOL def, VARIANT_BOOL* value) noexcept {
  if (!value) return E_POINTER;
  try {
    const std::optional<bool> flag = booleanOf(read(key));
    *value = flag ? (*flag ? VARIANT_TRUE : VARIANT_FALSE) : def;
    return S_OK;
  } catch (const std::bad_alloc&) {
    *value = def;
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CConfig::SetBoolean(BSTR key, VARIANT_BOOL value) noexcept {
  if (HKEY section = writerKey()) writeNumber(section, key, value != VARIANT_FALSE ? 1 : 0);
  return S_OK;
}

HKEY CConfig::rootKey() const noexcept { return m_user ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

std::wstring CConfig::sectionPath() const {
  std::wstring path = m_user ? kUserPath : kMachinePath;
  if (!m_name.empty()) {
    path += L'\\';
    path += m_name;
  }
  return path;
}

HKEY CConfig::readerKey() noexcept {
  if (!m_key) {
    try {
      RegKey key;
      if (::RegOpenKeyExW(rootKey(), sectionPath().c_str(), 0, kAccess, key.put()) == ERROR_SUCCESS) {
        m_key = std::move(key);
      }
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
  }
  return m_key.get();
}

HKEY CConfig::writerKey() noexcept {
  if (!m_key) {
    try {
      RegKey key;
      if (::RegCreateKeyExW(rootKey(), sectionPath().c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            kAccess, nullptr, key.put(), nullptr) == ERROR_SUCCESS) {
        m_key = std::move(key);
      }
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
  }
  return m_key.get();
}

CConfig::StoredValue CConfig::read(BSTR key) {
  StoredValue stored;
  HKEY section = readerKey();
  if (!section) return stored;
  // Room for the longest readable text and its terminator; numbers fit too.
  wchar_t buffer[kMaxTextLength + 1];
  DWORD type = REG_NONE;
  DWORD bytes = sizeof(buffer);
  if (::RegQueryValueExW(section, key, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes) !=
      ERROR_SUCCESS) {
    return stored;
  }
  switch (type) {
    case REG_SZ: {
      // The text ends at its terminator; one that fills the whole buffer
      // without a terminator is too long.
      const std::wstring_view data(buffer, bytes / sizeof(wchar_t));
      const size_t length = std::min(data.find(L'\0'), data.size());
      if (length > kMaxTextLength) return stored;
      stored.kind = StoredValue::Kind::Text;
      stored.text.assign(buffer, length);
      break;
    }
    case REG_DWORD: {
      DWORD number = 0;
      if (bytes != sizeof(number)) return stored;
      memcpy(&number, buffer, sizeof(number));
      stored.kind = StoredValue::Kind::Number32;
      stored.number = number;
      break;
    }
    case REG_QWORD: {
      ULONGLONG number = 0;
      if (bytes != sizeof(number)) return stored;
      memcpy(&number, buffer, sizeof(number));
      stored.kind = StoredValue::Kind::Number64;
      stored.number = number;
      break;
    }
    default:
      break;
  }
  return stored;
}

std::optional<std::wstring> CConfig::textOf(const StoredValue& stored) {
  switch (stored.kind) {
    case StoredValue::Kind::Text:
      return stored.text;
    case StoredValue::Kind::Number32:
      return std::to_wstring(static_cast<LONG>(static_cast<DWORD>(stored.number)));
    default:
      return std::nullopt;
  }
}

std::optional<LONG> CConfig::integerOf(const StoredValue& stored) {
  switch (stored.kind) {
    case StoredValue::Kind::Text:
      return wholeNumber(stored.text);
    case StoredValue::Kind::Number32:
      return static_cast<LONG>(static_cast<DWORD>(stored.number));
    default:
      return std::nullopt;
  }
}

std::optional<bool> CConfig::booleanOf(const StoredValue& stored) {
  switch (stored.kind) {
    case StoredValue::Kind::Text:
      if (const std::optional<LONG> number = wholeNumber(stored.text)) return *number != 0;
      return booleanWord(stored.text);
    case StoredValue::Kind::Number32:
      return stored.number != 0;
    default:
      return std::nullopt;
  }
}

void CConfig::writeText(HKEY section, BSTR key, const wchar_t* text, UINT length) noexcept {
  // A null text is stored as an empty one; the data carries its terminator.
  static const wchar_t kEmpty[] = L"";
  if (!text) {
    text = kEmpty;
    length = 0;
  }
  ::RegSetValueExW(section, key, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   (length + 1) * static_cast<DWORD>(sizeof(wchar_t)));
}

void CConfig::writeNumber(HKEY section, BSTR key, DWORD number) noexcept {
  ::RegSetValueExW(section, key, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                   sizeof(number));
}
