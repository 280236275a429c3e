#include "PluginInfo.h"

#include <objbase.h>

#include <algorithm>
#include <utility>

namespace {

wchar_t asciiLower(wchar_t c) noexcept { return c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c; }

bool equalsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) noexcept {
  return std::ranges::equal(a, b, [](wchar_t x, wchar_t y) { return asciiLower(x) == asciiLower(y); });
}

// Removes prefix from text when text starts with it (in any ASCII case).
bool consumePrefix(std::wstring_view& text, std::wstring_view prefix) noexcept {
  if (text.size() < prefix.size() || !equalsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix)) {
    return false;
  }
  text.remove_prefix(prefix.size());
  return true;
}

// Only the braced form is a class identifier here: the system parser would
// also take a ProgID, which has a prefix of its own.
bool parseClassId(std::wstring_view text, CLSID& clsid) {
  if (text.empty() || text.front() != L'{') return false;
  const std::wstring terminated(text);
  CLSID parsed;
  if (FAILED(::CLSIDFromString(terminated.c_str(), &parsed))) return false;
  clsid = parsed;
  return true;
}

bool resolveProgId(std::wstring_view text, CLSID& clsid) {
  if (text.empty()) return false;
  const std::wstring terminated(text);
  CLSID resolved;
  if (FAILED(::CLSIDFromProgID(terminated.c_str(), &resolved))) return false;
  clsid = resolved;
  return true;
}

}  // namespace

PluginInfo::PluginInfo(std::wstring name) : m_name(std::move(name)) {}

PluginInfo PluginInfo::fromEntry(std::wstring_view name, std::wstring_view data, bool& valid) {
  PluginInfo record{std::wstring(name)};
  std::wstring_view rest = data;
  if (consumePrefix(rest, L"CLSID:")) {
    valid = parseClassId(rest, record.m_clsid);
  } else if (consumePrefix(rest, L"PROGID:")) {
    valid = resolveProgId(rest, record.m_clsid);
  } else if (consumePrefix(rest, L"SERVICE:")) {
    record.m_alias = rest;
    valid = true;
  } else {
    valid = false;
  }
  return record;
}

std::wstring PluginInfo::serviceKey(std::wstring_view name) {
  std::wstring key(name);
  std::ranges::transform(key, key.begin(), asciiLower);
  return key;
}

bool operator==(const PluginInfo& a, const PluginInfo& b) noexcept {
  return equalsIgnoringAsciiCase(a.m_name, b.m_name) && equalsIgnoringAsciiCase(a.m_alias, b.m_alias) &&
         a.m_clsid == b.m_clsid;
}
