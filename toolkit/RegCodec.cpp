#include "RegCodec.h"

#include <climits>
#include <cstdint>
#include <cstring>

namespace {

constexpr char hex_digits[] = "0123456789ABCDEF";
constexpr char base64_alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int text_length(const char* text, int n) {
  return n < 0 ? static_cast<int>(std::strlen(text)) : n;
}

int hex_value(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// -1 for characters outside the alphabet.
struct Base64Table {
  signed char value[256];
  constexpr Base64Table() : value() {
    for (int i = 0; i < 256; ++i) value[i] = -1;
    for (int i = 0; i < 64; ++i) value[static_cast<unsigned char>(base64_alphabet[i])] =
        static_cast<signed char>(i);
  }
};
constexpr Base64Table base64_table;

// Separators after the fallbacks, with their lengths.
struct Separators {
  const char* s1;
  const char* s4;
  const char* s16;
  size_t n1, n4, n16;

  Separators(const char* sep1, const char* sep4, const char* sep16) {
    s1 = sep1 ? sep1 : "";
    s4 = sep4 ? sep4 : s1;
    s16 = sep16 ? sep16 : s4;
    n1 = std::strlen(s1);
    n4 = std::strlen(s4);
    n16 = std::strlen(s16);
  }

  int64_t total(int n) const {
    if (n <= 1) return 0;
    const int64_t gaps = n - 1;
    const int64_t at16 = gaps / 16;
    const int64_t at4 = gaps / 4 - at16;
    const int64_t at1 = gaps - gaps / 4;
    return at1 * static_cast<int64_t>(n1) + at4 * static_cast<int64_t>(n4) +
           at16 * static_cast<int64_t>(n16);
  }
};

}  // namespace

int hex_encode(const void* bytes, int n, char* out, int capacity,
               const char* sep1, const char* sep4, const char* sep16) {
  if (!bytes || n < 0) return -2;
  if (!out && capacity != 0) return -1;
  const Separators seps(sep1, sep4, sep16);
  const int64_t length = 2 * static_cast<int64_t>(n) + seps.total(n);
  if (length > INT_MAX) return -1;
  if (!out) return static_cast<int>(length);
  if (capacity < length) return -1;

  const auto* in = static_cast<const unsigned char*>(bytes);
  char* p = out;
  for (int i = 0; i < n; ++i) {
    if (i > 0) {
      const char* sep = seps.s1;
      size_t len = seps.n1;
      if (i % 16 == 0) {
        sep = seps.s16;
        len = seps.n16;
      } else if (i % 4 == 0) {
        sep = seps.s4;
        len = seps.n4;
      }
      std::memcpy(p, sep, len);
      p += len;
    }
    *p++ = hex_digits[in[i] >> 4];
    *p++ = hex_digits[in[i] & 0x0F];
  }
  if (capacity > length) *p = '\0';
  return static_cast<int>(length);
}

int hex_decode(const char* text, int n, void* out, int capacity) {
  if (!text) return -2;
  if (!out && capacity != 0) return -1;
  n = text_length(text, n);
  if (out && capacity < n / 2 + n % 2) return -1;

  const auto* in = reinterpret_cast<const unsigned char*>(text);
  auto* dst = static_cast<unsigned char*>(out);
  int count = 0;
  int i = 0;
  for (;;) {
    while (i < n && in[i] < 0x80 && hex_value(in[i]) < 0) ++i;
    if (i == n) break;
    const int high = hex_value(in[i]);
    if (high < 0) return -2;  // a byte of 0x80 or above where a pair starts
    if (i + 1 == n) return -2;
    const int low = hex_value(in[i + 1]);
    if (low < 0) return -2;
    i += 2;
    // Each byte takes two characters, so count < ceil(n / 2) <= capacity.
    if (dst) dst[count] = static_cast<unsigned char>(high << 4 | low);
    ++count;
  }
  return count;
}

int base64_encode(const void* bytes, int n, char* out, int capacity, bool pad) {
  if (!bytes || n < 0 || (!out && capacity != 0)) return -2;
  const int64_t padded = (static_cast<int64_t>(n) + 2) / 3 * 4;
  const int64_t length = pad || n % 3 == 0 ? padded : padded - (3 - n % 3);
  if (length > INT_MAX) return -1;
  if (!out) return static_cast<int>(length);
  if (capacity < length) return -1;

  const auto* in = static_cast<const unsigned char*>(bytes);
  char* p = out;
  int i = 0;
  for (; i + 3 <= n; i += 3) {
    const uint32_t v = uint32_t{in[i]} << 16 | uint32_t{in[i + 1]} << 8 | in[i + 2];
    *p++ = base64_alphabet[v >> 18];
    *p++ = base64_alphabet[v >> 12 & 0x3F];
    *p++ = base64_alphabet[v >> 6 & 0x3F];
    *p++ = base64_alphabet[v & 0x3F];
  }
  const int rest = n - i;
  if (rest > 0) {
    const uint32_t v = uint32_t{in[i]} << 16 | (rest == 2 ? uint32_t{in[i + 1]} << 8 : 0);
    *p++ = base64_alphabet[v >> 18];
    *p++ = base64_alphabet[v >> 12 & 0x3F];
    if (rest == 2) *p++ = base64_alphabet[v >> 6 & 0x3F];
    if (pad) {
      *p++ = '=';
      if (rest == 1) *p++ = '=';
    }
  }
  return static_cast<int>(length);
}

int base64_decode(const char* text, int n, void* out, int capacity) {
  if (!text || (!out && capacity != 0)) return -2;
  n = text_length(text, n);
  const int64_t needed = static_cast<int64_t>(n) / 4 * 3 + (n % 4 ? 3 : 0);
  if (out && capacity < needed) return -1;

  const auto* in = reinterpret_cast<const unsigned char*>(text);
  auto* dst = static_cast<unsigned char*>(out);
  int count = 0;
  uint32_t acc = 0;
  int bits = 0;
  for (int i = 0; i < n; ++i) {
    const int v = base64_table.value[in[i]];
    if (v < 0) continue;
    acc = (acc << 6 | static_cast<uint32_t>(v)) & 0xFFFFFF;
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      // At most 3 bytes per 4 characters of the text: within `needed`.
      if (dst) dst[count] = static_cast<unsigned char>(acc >> bits);
      ++count;
    }
  }
  return count;
}

std::string& hex_append(std::string& s, const void* bytes, int n,
                        const char* sep1, const char* sep4, const char* sep16) {
  const int length = hex_encode(bytes, n, nullptr, 0, sep1, sep4, sep16);
  if (length <= 0) return s;
  const size_t at = s.size();
  s.resize(at + static_cast<size_t>(length));
  hex_encode(bytes, n, s.data() + at, length, sep1, sep4, sep16);
  return s;
}
