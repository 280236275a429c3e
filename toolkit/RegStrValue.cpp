#include "RegStrValue.h"

#include <windows.h>

#include <climits>
#include <cstring>
#include <cwchar>
#include <new>
#include <type_traits>

#include "RegIntValue.h"

namespace {

int checked_length(size_t n) {
  if (n > INT_MAX) throw std::bad_alloc();
  return static_cast<int>(n);
}

// Every code page used here (UTF-8 and the ANSI ones) maps the bytes below
// 0x80 to the same code units, so pure ASCII text, by far the most common on
// the wire, is widened or narrowed without asking the system.
template <typename Char>
bool is_ascii(const Char* text, int length) noexcept {
  for (int i = 0; i < length; ++i)
    if (static_cast<std::make_unsigned_t<Char>>(text[i]) >= 0x80) return false;
  return true;
}

// One pass: neither UTF-8 nor an ANSI code page gives more UTF-16 code units
// than it has bytes.
std::wstring to_wide(UINT code_page, const char* text, int length) {
  std::wstring out;
  if (length <= 0) return out;
  if (is_ascii(text, length)) {
    out.assign(text, text + length);
    return out;
  }
  out.resize(static_cast<size_t>(length));
  const int written = MultiByteToWideChar(code_page, 0, text, length, out.data(), length);
  out.resize(static_cast<size_t>(written > 0 ? written : 0));
  return out;
}

std::string to_narrow(const wchar_t* text, int length) {
  std::string out;
  if (length <= 0) return out;
  const int needed = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return out;
  out.resize(static_cast<size_t>(needed));
  const int written =
      WideCharToMultiByte(CP_ACP, 0, text, length, out.data(), needed, nullptr, nullptr);
  out.resize(static_cast<size_t>(written > 0 ? written : 0));
  return out;
}

int utf8_length(const std::wstring& text) {
  if (text.empty()) return 0;
  if (is_ascii(text.data(), checked_length(text.size()))) return static_cast<int>(text.size());
  return WideCharToMultiByte(CP_UTF8, 0, text.data(), checked_length(text.size()), nullptr, 0,
                             nullptr, nullptr);
}

}  // namespace

RegStrValue::RegStrValue(const char* text, int length) : RegValue(type_str) {
  set_str(text, length);
}

RegStrValue::RegStrValue(const wchar_t* text, int length) : RegValue(type_str) {
  set_wstr(text, length);
}

RegStrValue::RegStrValue(const RegStrValue& other)
    : RegValue(other), m_wide(other.m_wide), m_narrow(other.m_narrow), m_size(other.m_size) {}

RegStrValue::~RegStrValue() = default;

const std::optional<std::wstring>& RegStrValue::wide() const {
  if (!m_wide && m_narrow)
    m_wide = to_wide(CP_ACP, m_narrow->data(), checked_length(m_narrow->size()));
  return m_wide;
}

const std::optional<std::string>& RegStrValue::narrow() const {
  if (!m_narrow && m_wide) m_narrow = to_narrow(m_wide->data(), checked_length(m_wide->size()));
  return m_narrow;
}

const char* RegStrValue::str() const {
  const auto& text = narrow();
  return text ? text->c_str() : nullptr;
}

int RegStrValue::str_len() const {
  const auto& text = narrow();
  return text ? static_cast<int>(text->size()) : 0;
}

const wchar_t* RegStrValue::wstr() const {
  const auto& text = wide();
  return text ? text->c_str() : nullptr;
}

int RegStrValue::wstr_len() const {
  const auto& text = wide();
  return text ? static_cast<int>(text->size()) : 0;
}

void RegStrValue::set_str(const char* text, int length) {
  clear();
  if (!text) return;
  m_narrow.emplace(text, static_cast<size_t>(length < 0 ? checked_length(std::strlen(text)) : length));
}

void RegStrValue::set_wstr(const wchar_t* text, int length) {
  clear();
  if (!text) return;
  m_wide.emplace(text, static_cast<size_t>(length < 0 ? checked_length(std::wcslen(text)) : length));
}

void RegStrValue::clear() {
  m_wide.reset();
  m_narrow.reset();
  m_size = -1;
}

int RegStrValue::data_size() const {
  if (m_size < 0) {
    const auto& text = wide();
    const int length = text ? utf8_length(*text) : 0;
    m_size = length > 0 ? length + 1 : 0;
  }
  return m_size;
}

void RegStrValue::write_data(RegBuf& buf) const {
  const int size = data_size();
  if (size == 0) return;
  const std::wstring& text = *wide();
  auto* p = reinterpret_cast<char*>(buf.write_space(size));
  const int chars = checked_length(text.size());
  int written;
  if (chars == size - 1 && is_ascii(text.data(), chars)) {
    for (int i = 0; i < chars; ++i) p[i] = static_cast<char>(text[static_cast<size_t>(i)]);
    written = chars;
  } else {
    written = WideCharToMultiByte(CP_UTF8, 0, text.data(), chars, p, size - 1, nullptr, nullptr);
  }
  // The size was measured by the same conversion; pad defensively so the
  // payload always has the length its field announced.
  const int body = written > 0 ? written : 0;
  std::memset(p + body, 0, static_cast<size_t>(size - body));
  buf.commit(size);
}

int RegStrValue::parse_data(RegBuf& buf, int length) {
  clear();
  if (length < 1) return 0;
  if (buf.remaining() < length) throw RegError("RegStrValue::parse_data");
  const auto* bytes = reinterpret_cast<const char*>(buf.read_ptr());
  int used = length;
  while (used > 0 && bytes[used - 1] == '\0') --used;
  m_wide = to_wide(CP_UTF8, bytes, used);
  buf.skip(length);
  return 0;
}

bool RegStrValue::assign(const RegValue& other) {
  if (&other == this) return true;
  switch (other.type()) {
    case type_str:
      if (const auto* text = dynamic_cast<const RegStrValue*>(&other)) {
        clear();
        if (text->m_wide)
          m_wide = text->m_wide;
        else
          m_narrow = text->m_narrow;
        return true;
      }
      return round_trip(other);
    case type_int:
      if (const auto* integer = dynamic_cast<const RegIntValue*>(&other)) {
        const std::string digits = std::to_string(integer->value());
        set_str(digits.data(), static_cast<int>(digits.size()));
        return true;
      }
      return round_trip(other);
    case type_raw:
      return round_trip(other);
    default:
      clear();
      return false;
  }
}

std::unique_ptr<RegValue> RegStrValue::clone() const { return std::make_unique<RegStrValue>(*this); }

std::string& RegStrValue::format(std::string& s, bool clear_first) const {
  RegValue::format(s, clear_first);
  const auto& text = narrow();
  if (!text) return s;
  const size_t at = s.size();
  s += *text;
  // Control characters would break the log line.
  for (size_t i = at; i < s.size(); ++i)
    if (static_cast<unsigned char>(s[i]) < 0x20) s[i] = '^';
  return s;
}
