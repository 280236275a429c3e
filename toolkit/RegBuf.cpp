#include "RegBuf.h"

#include <algorithm>
#include <cstddef>
#include <climits>
#include <cstdint>
#include <cstring>
#include <functional>
#include <new>
#include <stdexcept>

#include "RegCodec.h"
#include "RegError.h"

RegBuf::RegBuf(int capacity) {
  if (capacity > 0) {
    m_data = std::make_unique_for_overwrite<unsigned char[]>(static_cast<size_t>(capacity));
    m_capacity = capacity;
  }
}

RegBuf::RegBuf(RegBuf&& other) noexcept
    : m_data(std::move(other.m_data)),
      m_capacity(std::exchange(other.m_capacity, 0)),
      m_position(std::exchange(other.m_position, 0)),
      m_length(std::exchange(other.m_length, 0)) {}

RegBuf& RegBuf::operator=(RegBuf&& other) noexcept {
  if (this != &other) {
    m_data = std::move(other.m_data);
    m_capacity = std::exchange(other.m_capacity, 0);
    m_position = std::exchange(other.m_position, 0);
    m_length = std::exchange(other.m_length, 0);
  }
  return *this;
}

RegBuf::~RegBuf() = default;

int RegBuf::grow(int capacity, int needed) {
  const int64_t doubled = capacity > 0 ? 2 * static_cast<int64_t>(capacity) : 64;
  return static_cast<int>(std::min<int64_t>(std::max<int64_t>(doubled, needed), INT_MAX));
}

void RegBuf::reserve(int n) {
  if (n <= 0) return;
  const int64_t needed = static_cast<int64_t>(m_length) + n;
  if (needed <= m_capacity) return;
  if (needed > INT_MAX) throw std::bad_alloc();
  // A grow() that answers less than needed must not leave the buffer short.
  const int capacity = std::max(grow(m_capacity, static_cast<int>(needed)), static_cast<int>(needed));
  auto data = std::make_unique_for_overwrite<unsigned char[]>(static_cast<size_t>(capacity));
  if (m_length > 0) std::memcpy(data.get(), m_data.get(), static_cast<size_t>(m_length));
  m_data = std::move(data);
  m_capacity = capacity;
}

int RegBuf::append(const void* bytes, int n) {
  if (!bytes) return 0;
  if (n < 0) {
    const size_t len = std::strlen(static_cast<const char*>(bytes));
    if (len > INT_MAX) throw std::bad_alloc();
    n = static_cast<int>(len);
  }
  if (n == 0) return 0;
  // The bytes may lie in this buffer, which reserve() may move.
  const auto* source = static_cast<const unsigned char*>(bytes);
  const unsigned char* old = m_data.get();
  const bool inside =
      old && std::less_equal<>()(old, source) && std::less<>()(source, old + m_capacity);
  const std::ptrdiff_t offset = inside ? source - old : 0;
  reserve(n);
  if (inside) source = m_data.get() + offset;
  std::memmove(m_data.get() + m_length, source, static_cast<size_t>(n));
  m_length += n;
  return n;
}

unsigned char* RegBuf::write_space(int n) {
  reserve(n);
  return m_data.get() + m_length;
}

void RegBuf::commit(int n) noexcept {
  if (n > 0) m_length += std::min(n, m_capacity - m_length);
}

int RegBuf::size_length(int n) noexcept {
  if (n < 0x80) return 1;
  if (n < 0x4000) return 2;
  if (n < 0x200000) return 3;
  return 4;
}

void RegBuf::check_size(int n) {
  if (n < 0 || n > max_size) throw std::length_error("RegBuf: payload length out of range");
}

void RegBuf::write_size(int n) {
  check_size(n);
  const int count = size_length(n);
  unsigned char* p = write_space(count);
  for (int i = count - 1; i >= 0; --i) {
    const unsigned char group = static_cast<unsigned char>(n >> (7 * i) & 0x7F);
    *p++ = i > 0 ? static_cast<unsigned char>(group | 0x80) : group;
  }
  m_length += count;
}

int RegBuf::parse_size(int limit, int& n) {
  int value = 0;
  for (int count = 1; count <= 4; ++count) {
    if (limit < count || m_position >= m_length) break;
    const unsigned char b = m_data[m_position++];
    value = value << 7 | (b & 0x7F);
    if (!(b & 0x80)) {
      n = value;
      return limit - count;
    }
  }
  throw RegError("RegValue::parse_size");
}

bool RegBuf::read(void* out, int n) noexcept {
  if (n < 0 || n > remaining()) return false;
  if (n > 0) std::memcpy(out, m_data.get() + m_position, static_cast<size_t>(n));
  m_position += n;
  return true;
}

void RegBuf::skip(int n) noexcept {
  if (n > 0) m_position += std::min(n, remaining());
}

void RegBuf::set_position(int position) noexcept {
  m_position = std::clamp(position, 0, m_length);
}

std::string& RegBuf::format(std::string& s, bool clear_first) const {
  if (clear_first) s.clear();
  if (m_data) hex_append(s, read_ptr(), remaining(), "-", "/", "//");
  return s;
}
