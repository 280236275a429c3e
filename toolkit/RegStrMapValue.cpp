#include "RegStrMapValue.h"

#include <cstring>
#include <cwchar>
#include <string_view>

#include "RegStrValue.h"

namespace {

// The stored key in the width of the key looked for; a null text reads as
// empty, which is also how an empty key comes back from the wire.
std::string_view key_text(const RegStrValue& key, const char*) {
  const char* text = key.str();
  return text ? std::string_view(text, static_cast<size_t>(key.str_len())) : std::string_view();
}

std::wstring_view key_text(const RegStrValue& key, const wchar_t*) {
  const wchar_t* text = key.wstr();
  return text ? std::wstring_view(text, static_cast<size_t>(key.wstr_len())) : std::wstring_view();
}

void set_key(RegStrValue& key, const char* text) { key.set_str(text, -1); }
void set_key(RegStrValue& key, const wchar_t* text) { key.set_wstr(text, -1); }

}  // namespace

RegStrMapValue::~RegStrMapValue() = default;

template <typename Char>
int RegStrMapValue::find_key(const Char* key) const {
  if (!key) return -1;
  const std::basic_string_view<Char> wanted(key);
  // From the last complete pair back, so a repeated key finds its last value.
  for (int i = count() / 2 * 2 - 2; i >= 0; i -= 2) {
    const auto* stored = dynamic_cast<const RegStrValue*>(item(i));
    if (stored && key_text(*stored, key) == wanted) return i + 1;
  }
  return -1;
}

int RegStrMapValue::find(const char* key) const { return find_key(key); }
int RegStrMapValue::find(const wchar_t* key) const { return find_key(key); }

template <typename Char>
bool RegStrMapValue::store(const Char* key, std::unique_ptr<RegValue> value) {
  if (!key) return false;
  const int index = find_key(key);
  if (index >= 0) return set_item(index, std::move(value));
  auto new_key = std::make_unique<RegStrValue>();
  set_key(*new_key, key);
  // A trailing key without a value would pair the new key with nothing.
  if (count() % 2) erase(count() - 1, 1);
  append(std::move(new_key));
  append(std::move(value));
  return true;
}

bool RegStrMapValue::set_value(const char* key, std::unique_ptr<RegValue> value) {
  return store(key, std::move(value));
}

bool RegStrMapValue::set_value(const wchar_t* key, std::unique_ptr<RegValue> value) {
  return store(key, std::move(value));
}

const char* RegStrMapValue::shape_error() const noexcept {
  if (count() % 2) return "extra key";
  for (int i = 0; i < count(); i += 2)
    if (item(i) && item(i)->type() != type_str) return "invalid key type";
  return nullptr;
}

int RegStrMapValue::parse_data(RegBuf& buf, int length) {
  const int left = RegListValue::parse_data(buf, length);
  if (const char* error = shape_error()) throw RegError("RegStrMapValue::parse_data", error);
  return left;
}

bool RegStrMapValue::assign(const RegValue& other) {
  if (!RegListValue::assign(other)) return false;
  if (!shape_error()) return true;
  clear();
  return false;
}

std::unique_ptr<RegValue> RegStrMapValue::clone() const {
  return std::make_unique<RegStrMapValue>(*this);
}

std::string& RegStrMapValue::format(std::string& s, bool clear_first) const {
  RegValue::format(s, clear_first);
  s += "{ ";
  for (int i = 0; i < count(); ++i) {
    if (i > 0) s += i % 2 ? " => " : "; ";
    format_item(s, item(i));
  }
  s += " }";
  return s;
}
