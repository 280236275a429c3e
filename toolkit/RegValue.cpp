#include "RegValue.h"

RegValue::~RegValue() = default;

void RegValue::clear() {}

std::string& RegValue::format(std::string& s, bool clear_first) const {
  if (clear_first) s.clear();
  return s;
}

void RegValue::write_value(RegBuf& buf) const {
  const int size = data_size();
  // Refused before anything is written, so the buffer keeps no half value.
  RegBuf::check_size(size);
  buf.reserve(1 + RegBuf::size_length(size) + size);
  buf.write_byte(static_cast<unsigned char>(m_type));
  buf.write_size(size);
  write_data(buf);
}

int RegValue::parse_value(RegBuf& buf, int limit) {
  if (limit < 1 || buf.remaining() < 1) throw RegError("RegValue::parse_value");
  if (buf.read_byte() != m_type) throw RegError("RegValue::parse_value", "type mismatch");
  int size = 0;
  limit = buf.parse_size(limit - 1, size);
  if (limit < size) throw RegError("RegValue::parse_value");
  clear();
  const int start = buf.position();
  // A payload must be consumed exactly, or the reads that follow would be
  // out of step with the enclosing lengths.
  if (parse_data(buf, size) != 0 || buf.position() - start != size)
    throw RegError("RegValue::parse_value");
  return limit - size;
}

bool RegValue::round_trip(const RegValue& other) {
  RegBuf buf;
  other.write_data(buf);
  try {
    if (parse_data(buf, buf.length()) == 0) return true;
  } catch (const RegError&) {
  }
  clear();
  return false;
}
