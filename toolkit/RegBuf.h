#pragma once
// Growable byte buffer that values are encoded into and decoded from.
// Writing always appends at the end; reading starts at the read position and
// advances it. The read helpers never go past the written length.
#include <memory>
#include <string>
#include <utility>

class RegBuf {
public:
  // Largest payload the length field can carry (four groups of 7 bits).
  static constexpr int max_size = (1 << 28) - 1;

  RegBuf() noexcept = default;
  explicit RegBuf(int capacity);
  RegBuf(const RegBuf&) = delete;
  RegBuf& operator=(const RegBuf&) = delete;
  RegBuf(RegBuf&& other) noexcept;
  RegBuf& operator=(RegBuf&& other) noexcept;

  // New capacity for a buffer that holds `capacity` bytes and needs `needed`.
  virtual int grow(int capacity, int needed);
  virtual ~RegBuf();

  // Ensures room for length() + n bytes.
  void reserve(int n);
  // Appends n bytes; n < 0 appends the NUL-terminated string `bytes` (nothing
  // for null). Returns the count appended.
  int append(const void* bytes, int n);
  void write_byte(unsigned char b) {
    if (m_length >= m_capacity) reserve(1);
    m_data[m_length++] = b;
  }
  // Reserves n bytes at the end and returns where they start; commit() then
  // adds the bytes actually written (at most n) to the length.
  unsigned char* write_space(int n);
  void commit(int n) noexcept;

  // Length field: base-128, most significant group first, 1 to 4 bytes.
  // n must lie in 0..max_size; anything else throws std::length_error.
  void write_size(int n);
  // Throws std::length_error unless 0 <= n <= max_size.
  static void check_size(int n);
  static int size_length(int n) noexcept;
  // Reads a length field within `limit` bytes; returns the limit left.
  // Throws RegError on a fifth byte or when limit or buffer run out first.
  int parse_size(int limit, int& n);

  const unsigned char* data() const noexcept { return m_data.get(); }
  int capacity() const noexcept { return m_capacity; }
  int length() const noexcept { return m_length; }
  int position() const noexcept { return m_position; }
  int remaining() const noexcept { return m_length - m_position; }
  // Unread bytes start here (null when there is no storage).
  const unsigned char* read_ptr() const noexcept { return m_data.get() + m_position; }

  // Next unread byte, or -1; read_byte() also consumes it.
  int peek() const noexcept { return m_position < m_length ? m_data[m_position] : -1; }
  int read_byte() noexcept { return m_position < m_length ? m_data[m_position++] : -1; }
  // Copies n bytes out and advances; false (nothing read) when fewer remain.
  bool read(void* out, int n) noexcept;
  // Advances by n, at most to the end.
  void skip(int n) noexcept;
  // Moves the read position, clamped to 0..length().
  void set_position(int position) noexcept;
  // Forgets the content but keeps the storage.
  void reset() noexcept { m_length = m_position = 0; }

  // Appends the hex dump of the unread bytes.
  std::string& format(std::string& s, bool clear_first) const;

private:
  std::unique_ptr<unsigned char[]> m_data;
  int m_capacity = 0;
  int m_position = 0;
  int m_length = 0;
};
