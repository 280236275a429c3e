#include "RegIntValue.h"

#include <cctype>
#include <charconv>
#include <limits>

#include "RegStrValue.h"

namespace {

// Decimal reading of the narrow form: leading white space and a sign, digits
// up to the first non-digit, saturating at the 64-bit limits.
int64_t parse_decimal(const char* p, const char* end) {
  while (p < end && std::isspace(static_cast<unsigned char>(*p))) ++p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  uint64_t magnitude = 0;
  for (; p < end && *p >= '0' && *p <= '9'; ++p) {
    const unsigned digit = static_cast<unsigned>(*p - '0');
    if (magnitude > (limit - digit) / 10) {
      magnitude = limit;
      break;
    }
    magnitude = magnitude * 10 + digit;
  }
  return negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
}

}  // namespace

RegIntValue::~RegIntValue() = default;

int RegIntValue::data_size() const {
  for (int k = 1; k < 8; ++k) {
    const int64_t bound = int64_t{1} << (8 * k - 1);
    if (m_value >= -bound && m_value < bound) return k;
  }
  return 8;
}

void RegIntValue::write_data(RegBuf& buf) const {
  const int k = data_size();
  unsigned char* p = buf.write_space(k);
  const auto bits = static_cast<uint64_t>(m_value);
  for (int i = 0; i < k; ++i) p[i] = static_cast<unsigned char>(bits >> (8 * (k - 1 - i)));
  buf.commit(k);
}

int RegIntValue::parse_data(RegBuf& buf, int length) {
  clear();
  if (length < 1) return 0;
  const int k = length < 8 ? length : 8;
  if (buf.remaining() < k) throw RegError("RegIntValue::parse_data");
  const unsigned char* p = buf.read_ptr();
  uint64_t bits = p[0] & 0x80 ? ~uint64_t{0} : 0;
  for (int i = 0; i < k; ++i) bits = bits << 8 | p[i];
  buf.skip(k);
  m_value = static_cast<int64_t>(bits);
  return length - k;
}

void RegIntValue::clear() { m_value = 0; }

void RegIntValue::set_int(int64_t value) { m_value = value; }

bool RegIntValue::assign(const RegValue& other) {
  if (&other == this) return true;
  switch (other.type()) {
    case type_int:
      if (const auto* integer = dynamic_cast<const RegIntValue*>(&other)) {
        m_value = integer->m_value;
        return true;
      }
      return round_trip(other);
    case type_raw:
      return round_trip(other);
    case type_str:
      if (const auto* text = dynamic_cast<const RegStrValue*>(&other)) {
        const char* narrow = text->str();
        m_value = narrow ? parse_decimal(narrow, narrow + text->str_len()) : 0;
        return true;
      }
      return round_trip(other);
    default:
      clear();
      return false;
  }
}

std::unique_ptr<RegValue> RegIntValue::clone() const { return std::make_unique<RegIntValue>(*this); }

std::string& RegIntValue::format(std::string& s, bool clear_first) const {
  RegValue::format(s, clear_first);
  // Small negatives show as their 32-bit pattern, the way they were often
  // stored: -1 reads 0xFFFFFFFF (-1).
  const bool low32 = m_value < 0 && m_value >= -(int64_t{1} << 32);
  const uint64_t shown = low32 ? static_cast<uint32_t>(m_value) : static_cast<uint64_t>(m_value);
  char text[64] = "0x";
  char* end = std::to_chars(text + 2, text + sizeof text, shown, 16).ptr;
  for (char* c = text + 2; c < end; ++c)
    if (*c >= 'a' && *c <= 'f') *c = static_cast<char>(*c - 'a' + 'A');
  *end++ = ' ';
  *end++ = '(';
  end = std::to_chars(end, text + sizeof text, m_value).ptr;
  *end++ = ')';
  s.append(text, end);
  return s;
}
