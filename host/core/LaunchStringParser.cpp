#include "LaunchStringParser.h"

#include "Bstr.h"
#include "CollectionClasses.h"
#include "ComPtr.h"
#include "Variant.h"

#include <windows.h>

#include <new>
#include <string>

namespace {

// The value of a hexadecimal digit, or -1.
int hexValue(wchar_t c) noexcept {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// Appends a run of escaped bytes read as UTF-8; bytes that are not valid
// UTF-8 stay as the characters of the same code values rather than being
// replaced, so nothing the sender wrote is lost.
void appendByteRun(const std::string& run, std::wstring& out) {
  if (run.empty()) return;
  const int length = static_cast<int>(run.size());
  const int needed = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, run.data(), length, nullptr, 0);
  if (needed > 0) {
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(needed));
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, run.data(), length, out.data() + at, needed);
    return;
  }
  for (const char byte : run) out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(byte)));
}

}  // namespace

LaunchStringParser::Parts LaunchStringParser::split(std::wstring_view text) {
  Parts parts;
  text = text.substr(0, text.find(L'#'));
  if (const size_t question = text.find(L'?'); question != std::wstring_view::npos) {
    std::wstring_view rest = text.substr(question + 1);
    for (;;) {
      const size_t amp = rest.find(L'&');
      const std::wstring_view piece = rest.substr(0, amp);
      const size_t equals = piece.find(L'=');
      const std::wstring_view name = piece.substr(0, equals);
      const std::wstring_view value =
          equals == std::wstring_view::npos ? std::wstring_view() : piece.substr(equals + 1);
      if (!name.empty() || !value.empty()) parts.query.emplace_back(percentDecode(name), percentDecode(value));
      if (amp == std::wstring_view::npos) break;
      rest.remove_prefix(amp + 1);
    }
    text = text.substr(0, question);
  }
  if (const size_t colon = text.find(L':'); colon != std::wstring_view::npos) {
    parts.scheme.assign(text.substr(0, colon));
    parts.path.assign(text.substr(colon + 1));
  } else {
    parts.path.assign(text);
  }
  return parts;
}

std::wstring LaunchStringParser::percentDecode(std::wstring_view text, bool* malformed) {
  if (malformed) *malformed = false;
  if (text.find(L'%') == std::wstring_view::npos) return std::wstring(text);

  std::wstring out;
  out.reserve(text.size());
  std::string run;  // escaped bytes not yet converted
  const auto flush = [&] {
    appendByteRun(run, out);
    run.clear();
  };
  // Copies text[from, to) as it is: an escape that is not one.
  const auto copyMalformed = [&](size_t from, size_t to) {
    flush();
    out.append(text.substr(from, to - from));
    if (malformed) *malformed = true;
  };

  size_t i = 0;
  while (i < text.size()) {
    const wchar_t c = text[i];
    if (c != L'%') {
      flush();
      out.push_back(c);
      ++i;
      continue;
    }
    const int high = i + 1 < text.size() ? hexValue(text[i + 1]) : -1;
    const int low = i + 2 < text.size() ? hexValue(text[i + 2]) : -1;
    if (high >= 0 && low >= 0) {
      run.push_back(static_cast<char>(high * 16 + low));
      i += 3;
      continue;
    }
    if (i + 1 < text.size() && (text[i + 1] == L'u' || text[i + 1] == L'U')) {
      size_t end = i + 2;
      unsigned unit = 0;
      while (end < text.size() && end < i + 6 && hexValue(text[end]) >= 0) {
        unit = unit * 16 + static_cast<unsigned>(hexValue(text[end]));
        ++end;
      }
      if (end == i + 6) {
        flush();
        out.push_back(static_cast<wchar_t>(unit));
      } else {
        copyMalformed(i, end);
      }
      i = end;
      continue;
    }
    // '%' with fewer than two digits: the digit read, if any, goes with it.
    const size_t end = high >= 0 ? i + 2 : i + 1;
    copyMalformed(i, end);
    i = end;
  }
  flush();
  return out;
}

void LaunchStringParser::addQueryValue(IStringObjectMap* query, const std::wstring& name,
                                       const std::wstring& value) {
  const Bstr key(name);
  Variant present;
  if (FAILED(query->Get(key.get(), present.put()))) return;
  if (present.type() == VT_BSTR) {
    ComPtr<IObjectList> list = CollectionClasses::newObjectList("CFrameworkController", "GetLaunchString");
    if (!list) return;
    if (FAILED(list->Add(present, nullptr)) || FAILED(list->Add(Variant(value), nullptr))) return;
    query->Set(key.get(), Variant(static_cast<IDispatch*>(list.get())));
    return;
  }
  if (present.type() == VT_DISPATCH && V_DISPATCH(&present)) {
    ComPtr<IObjectList> list;
    if (SUCCEEDED(V_DISPATCH(&present)->QueryInterface(IID_IObjectList, list.putVoid())) && list) {
      list->Add(Variant(value), nullptr);
      return;
    }
  }
  query->Set(key.get(), Variant(value));
}

void LaunchStringParser::addTo(std::wstring_view text, IStringObjectMap* params) noexcept {
  if (!params) return;
  try {
    const Parts parts = split(text);
    if (ComPtr<IStringObjectMap> query =
            CollectionClasses::newStringObjectMap("CFrameworkController", "GetLaunchString")) {
      for (const auto& [name, value] : parts.query) addQueryValue(query.get(), name, value);
      params->Set(Bstr(L"query").get(), Variant(static_cast<IDispatch*>(query.get())));
    }
    params->Set(Bstr(L"path").get(), Variant(parts.path));
    params->Set(Bstr(L"scheme").get(), Variant(parts.scheme));
  } catch (const std::bad_alloc&) {
    // What was set so far stays; the rest is missing.
  }
}
