#include "RegRawValue.h"

#include <cstdio>
#include <cstring>

#include "RegCodec.h"

RegRawValue::RegRawValue(const void* bytes, int length) : RegValue(type_raw) {
  set_data(bytes, length);
}

RegRawValue::RegRawValue(const RegRawValue& other) : RegValue(other) {
  set_data(other.m_data.get(), other.m_length);
}

RegRawValue::~RegRawValue() = default;

int RegRawValue::data_size() const { return m_length; }

void RegRawValue::write_data(RegBuf& buf) const { buf.append(m_data.get(), m_length); }

int RegRawValue::parse_data(RegBuf& buf, int length) {
  clear();
  if (length < 1) return 0;
  // Nothing is allocated unless the buffer really holds the bytes.
  if (buf.remaining() < length) return length;
  set_data(buf.read_ptr(), length);
  buf.skip(length);
  return 0;
}

void RegRawValue::clear() {
  m_data.reset();
  m_length = 0;
}

void RegRawValue::set_data(const void* bytes, int length) {
  if (!bytes || length < 1) {
    clear();
    return;
  }
  auto data = std::make_unique_for_overwrite<unsigned char[]>(static_cast<size_t>(length));
  std::memcpy(data.get(), bytes, static_cast<size_t>(length));
  m_data = std::move(data);
  m_length = length;
}

bool RegRawValue::assign(const RegValue& other) {
  if (&other == this) return true;
  switch (other.type()) {
    case type_raw:
      if (const auto* raw = dynamic_cast<const RegRawValue*>(&other)) {
        set_data(raw->m_data.get(), raw->m_length);
        return true;
      }
      return round_trip(other);
    case type_int:
    case type_str:
    case type_list:
      return round_trip(other);
    default:
      clear();
      return false;
  }
}

std::unique_ptr<RegValue> RegRawValue::clone() const { return std::make_unique<RegRawValue>(*this); }

std::string& RegRawValue::format(std::string& s, bool clear_first) const {
  RegValue::format(s, clear_first);
  char count[16];
  std::snprintf(count, sizeof count, "%d: ", m_length);
  s += '(';
  s += count;
  if (m_data) hex_append(s, m_data.get(), m_length, "-", "/", "//");
  s += ')';
  return s;
}
