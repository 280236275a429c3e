#include "LanguageSelection.h"

#include "ResourceStrings.h"
#include "UniqueHandle.h"

#include <cwchar>

namespace {

constexpr wchar_t kConfigKey[] = L"SOFTWARE\\Mirdex\\Config\\User";
constexpr wchar_t kLanguageValue[] = L"Language";

struct NamedLanguage {
  const wchar_t* text;
  LANGID id;
};

constexpr NamedLanguage kNamedLanguages[] = {
    {L"EN", 0x409},
    {L"ZH_CN", 0x804},
    {L"ZH_TW", 0x404},
};

}  // namespace

std::wstring LanguageSelection::configuredText() {
  RegKey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kConfigKey, 0, KEY_READ | KEY_WRITE, key.put()) !=
      ERROR_SUCCESS) {
    return {};
  }
  return readText(key.get());
}

std::wstring LanguageSelection::readText(HKEY key) {
  // Room for the longest accepted text, its terminator and one character
  // more, so that an unterminated longer value is recognised as too long.
  wchar_t buffer[kMaxTextLength + 2] = {};
  DWORD type = REG_NONE;
  DWORD bytes = sizeof(buffer);
  if (::RegQueryValueExW(key, kLanguageValue, nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                         &bytes) != ERROR_SUCCESS) {
    return {};
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) return {};
  size_t length = bytes / sizeof(wchar_t);
  while (length > 0 && buffer[length - 1] == L'\0') --length;
  if (length > kMaxTextLength) return {};
  // A terminator inside the data ends the text.
  return std::wstring(buffer, ::wcsnlen(buffer, length));
}

LANGID LanguageSelection::languageId(std::wstring_view text) noexcept {
  if (text.empty()) return 0;
  for (const NamedLanguage& named : kNamedLanguages) {
    if (text == named.text) return named.id;
  }
  // The conversion wants a terminated text; accepted texts are short.
  if (text.size() > kMaxTextLength) return 0;
  wchar_t copy[kMaxTextLength + 1] = {};
  text.copy(copy, text.size());
  wchar_t* end = nullptr;
  const long number = std::wcstol(copy, &end, 10);
  if (end == copy) return 0;  // no digits at all
  if (*end != L'\0' && *end != L' ') return 0;
  return static_cast<LANGID>(number & 0xFFFF);
}

bool LanguageSelection::apply(LANGID id, bool vistaOrLater) noexcept {
  if (id == 0) return false;
  bool applied = false;
  if (vistaOrLater) {
    using SetThreadUILanguageFn = LANGID(WINAPI*)(LANGID);
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    // Through the generic function type, which converts to any other.
    auto generic = kernel ? reinterpret_cast<void (*)()>(
                                ::GetProcAddress(kernel, "SetThreadUILanguage"))
                          : nullptr;
    if (auto setUiLanguage = reinterpret_cast<SetThreadUILanguageFn>(generic)) {
      applied = setUiLanguage(id) == id;
    }
  } else {
    applied = ::SetThreadLocale(MAKELCID(id, SORT_DEFAULT)) != FALSE;
  }
  // Strings are loaded in the chosen language even where the system does
  // not report an applied UI language back.
  ResourceStrings::setThreadLanguage(id);
  return applied;
}

std::wstring LanguageSelection::select(bool vistaOrLater) {
  std::wstring text = configuredText();
  apply(languageId(text), vistaOrLater);
  return text;
}
