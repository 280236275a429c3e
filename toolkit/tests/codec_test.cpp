#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "RegCodec.h"

namespace {

using Bytes = std::vector<unsigned char>;

constexpr char kGuard = '\x5A';

Bytes sequence(int n) {
  Bytes b;
  for (int i = 0; i < n; ++i) b.push_back(static_cast<unsigned char>(i));
  return b;
}

Bytes of(const char* s) { return Bytes(s, s + std::strlen(s)); }

// ---------------------------------------------------------------------------
// hex_encode

struct HexEncodeCase {
  const char* name;
  Bytes input;
  const char* sep1;
  const char* sep4;
  const char* sep16;
  const char* expected;
};

const HexEncodeCase kHexEncodeCases[] = {
    {"nothing", {}, "-", "/", "//", ""},
    {"one byte", {0xAB}, "-", "/", "//", "AB"},
    {"dump separators", sequence(20), "-", "/", "//",
     "00-01-02-03/04-05-06-07/08-09-0A-0B/0C-0D-0E-0F//10-11-12-13"},
    {"no separators", sequence(5), nullptr, nullptr, nullptr, "0001020304"},
    {"null 4 takes 1", sequence(6), ":", nullptr, "|", "00:01:02:03:04:05"},
    {"null 16 takes 4", sequence(18), ".", "/", nullptr,
     "00.01.02.03/04.05.06.07/08.09.0A.0B/0C.0D.0E.0F/10.11"},
    {"null 1 means none", sequence(9), nullptr, " ", nullptr, "00010203 04050607 08"},
    {"upper case digits", {0xDE, 0xAD, 0xbe, 0xef}, nullptr, nullptr, nullptr, "DEADBEEF"},
};

TEST(HexEncode, SeparatorsAndDigits) {
  for (const auto& c : kHexEncodeCases) {
    SCOPED_TRACE(c.name);
    const int n = static_cast<int>(c.input.size());
    const unsigned char dummy = 0;
    const void* in = n ? static_cast<const void*>(c.input.data()) : &dummy;
    const int length = hex_encode(in, n, nullptr, 0, c.sep1, c.sep4, c.sep16);
    ASSERT_EQ(length, static_cast<int>(std::strlen(c.expected)));
    std::string out(static_cast<size_t>(length) + 1, kGuard);
    EXPECT_EQ(hex_encode(in, n, out.data(), length + 1, c.sep1, c.sep4, c.sep16), length);
    EXPECT_STREQ(out.c_str(), c.expected);
  }
}

TEST(HexEncode, TerminatesOnlyWhenThereIsRoom) {
  const Bytes in = {1, 2};
  std::string out(8, kGuard);
  // Exactly the length: the characters, no terminator.
  EXPECT_EQ(hex_encode(in.data(), 2, out.data(), 5, "-"), 5);
  EXPECT_EQ(out, std::string("01-02") + std::string(3, kGuard));
  // One more: terminated.
  EXPECT_EQ(hex_encode(in.data(), 2, out.data(), 6, "-"), 5);
  EXPECT_EQ(out.substr(0, 7), std::string("01-02") + '\0' + kGuard);
  // One short: refused, nothing written.
  std::string short_out(8, kGuard);
  EXPECT_EQ(hex_encode(in.data(), 2, short_out.data(), 4, "-"), -1);
  EXPECT_EQ(short_out, std::string(8, kGuard));
}

struct ResultCase {
  const char* name;
  int result;
  int expected;
};

TEST(HexEncode, ResultCodes) {
  const Bytes in = {1, 2, 3};
  char out[16];
  const ResultCase cases[] = {
      {"null bytes", hex_encode(nullptr, 0, out, 16), -2},
      {"negative count", hex_encode(in.data(), -1, out, 16), -2},
      {"null output with capacity", hex_encode(in.data(), 3, nullptr, 16), -1},
      {"size query", hex_encode(in.data(), 3, nullptr, 0, " "), 8},
      {"zero bytes into zero capacity", hex_encode(in.data(), 0, out, 0), 0},
      {"negative capacity", hex_encode(in.data(), 3, out, -5), -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.result, c.expected);
  }
}

// ---------------------------------------------------------------------------
// hex_decode

struct HexDecodeCase {
  const char* name;
  const char* text;
  int n;  // -1: NUL-terminated
  int result;
  Bytes expected;
};

const HexDecodeCase kHexDecodeCases[] = {
    {"dump separators", "00-01/02", -1, 3, {0, 1, 2}},
    {"lower and upper case", "aBcD", -1, 2, {0xAB, 0xCD}},
    {"spaces and line breaks", " 0a\r\n ff\t", -1, 2, {0x0A, 0xFF}},
    {"empty", "", -1, 0, {}},
    {"only separators", "- / //", -1, 0, {}},
    {"counted length stops early", "0102FF", 4, 2, {1, 2}},
    {"second character not a digit", "0G", -1, -2, {}},
    {"separator inside a pair", "0-1", -1, -2, {}},
    {"lone last digit", "012", -1, -2, {}},
    {"high byte where a pair starts", "00\x80" "1", -1, -2, {}},
    {"high byte in the low position", "0\xC3", -1, -2, {}},
    {"trailing separator", "AB-", -1, 1, {0xAB}},
    {"login code", "03150101010010", -1, 7, {0x03, 0x15, 0x01, 0x01, 0x01, 0x00, 0x10}},
};

TEST(HexDecode, DigitsSeparatorsAndFaults) {
  for (const auto& c : kHexDecodeCases) {
    SCOPED_TRACE(c.name);
    const int n = c.n < 0 ? static_cast<int>(std::strlen(c.text)) : c.n;
    Bytes out(static_cast<size_t>(n / 2 + n % 2) + 4, 0xEE);
    const int capacity = n / 2 + n % 2;
    EXPECT_EQ(hex_decode(c.text, c.n, out.data(), capacity), c.result);
    EXPECT_EQ(hex_decode(c.text, c.n, nullptr, 0), c.result) << "size query";
    if (c.result >= 0) {
      EXPECT_EQ(Bytes(out.begin(), out.begin() + c.result), c.expected);
    }
    for (size_t i = static_cast<size_t>(capacity); i < out.size(); ++i) EXPECT_EQ(out[i], 0xEE);
  }
}

TEST(HexDecode, CapacityIsCheckedAgainstTheTextLength) {
  unsigned char out[8];
  // Three bytes come out, but eight characters ask for four.
  EXPECT_EQ(hex_decode("00-01/02", -1, out, 3), -1);
  EXPECT_EQ(hex_decode("00-01/02", -1, out, 4), 3);
  EXPECT_EQ(hex_decode("012", -1, out, 1), -1);  // ceil(3 / 2) = 2
  EXPECT_EQ(hex_decode(nullptr, 2, out, 8), -2);
  EXPECT_EQ(hex_decode("00", -1, nullptr, 1), -1);
}

// ---------------------------------------------------------------------------
// Base64

struct Base64Case {
  const char* plain;
  const char* padded;
  const char* unpadded;
};

const Base64Case kBase64Cases[] = {
    {"", "", ""},
    {"f", "Zg==", "Zg"},
    {"fo", "Zm8=", "Zm8"},
    {"foo", "Zm9v", "Zm9v"},
    {"foob", "Zm9vYg==", "Zm9vYg"},
    {"fooba", "Zm9vYmE=", "Zm9vYmE"},
    {"foobar", "Zm9vYmFy", "Zm9vYmFy"},
};

std::string encoded(const Bytes& in, bool pad) {
  const unsigned char dummy = 0;
  const void* p = in.empty() ? static_cast<const void*>(&dummy) : in.data();
  const int n = static_cast<int>(in.size());
  const int length = base64_encode(p, n, nullptr, 0, pad);
  std::string out(static_cast<size_t>(length) + 2, kGuard);
  EXPECT_EQ(base64_encode(p, n, out.data(), length, pad), length);
  EXPECT_EQ(out.substr(static_cast<size_t>(length)), std::string(2, kGuard));
  out.resize(static_cast<size_t>(length));
  return out;
}

Bytes decoded(const std::string& text) {
  const int n = static_cast<int>(text.size());
  const int capacity = n / 4 * 3 + (n % 4 ? 3 : 0);
  Bytes out(static_cast<size_t>(capacity) + 2, 0xEE);
  const int count = base64_decode(text.c_str(), n, out.data(), capacity);
  EXPECT_EQ(base64_decode(text.c_str(), n, nullptr, 0), count) << "size query";
  EXPECT_EQ(out[static_cast<size_t>(capacity)], 0xEE);
  if (count < 0) return {};
  out.resize(static_cast<size_t>(count));
  return out;
}

TEST(Base64, StandardVectorsWithAndWithoutPadding) {
  for (const auto& c : kBase64Cases) {
    SCOPED_TRACE(c.plain);
    EXPECT_EQ(encoded(of(c.plain), true), c.padded);
    EXPECT_EQ(encoded(of(c.plain), false), c.unpadded);
    EXPECT_EQ(decoded(c.padded), of(c.plain));
    EXPECT_EQ(decoded(c.unpadded), of(c.plain));
  }
}

TEST(Base64, EveryByteValueRoundTrips) {
  const Bytes all = sequence(256);
  const std::string text = encoded(all, true);
  EXPECT_EQ(text.substr(0, 8), "AAECAwQF");
  EXPECT_NE(text.find('+'), std::string::npos);
  EXPECT_NE(text.find('/'), std::string::npos);
  EXPECT_EQ(decoded(text), all);
}

TEST(Base64, DecoderSkipsCharactersOutsideTheAlphabet) {
  EXPECT_EQ(decoded("Zm9v\r\nYmFy"), of("foobar"));
  EXPECT_EQ(decoded(" Z m 9 v "), of("foo"));
  EXPECT_EQ(decoded("Zg==Zm8="), of("f\x06" "f"));  // '=' is skipped like any other
  EXPECT_EQ(decoded("Z"), Bytes{});                    // six bits make no byte
  EXPECT_EQ(decoded("!!!!"), Bytes{});
}

TEST(Base64, ResultCodes) {
  const Bytes in = of("fo");
  char text[8];
  unsigned char out[8];
  const ResultCase cases[] = {
      {"encode null bytes", base64_encode(nullptr, 0, text, 8, true), -2},
      {"encode negative count", base64_encode(in.data(), -1, text, 8, true), -2},
      {"encode null output with capacity", base64_encode(in.data(), 2, nullptr, 8, true), -2},
      {"encode size query padded", base64_encode(in.data(), 2, nullptr, 0, true), 4},
      {"encode size query unpadded", base64_encode(in.data(), 2, nullptr, 0, false), 3},
      {"encode short capacity", base64_encode(in.data(), 2, text, 3, true), -1},
      {"encode unpadded into what it writes", base64_encode(in.data(), 2, text, 3, false), 3},
      {"encode unpadded one short", base64_encode(in.data(), 2, text, 2, false), -1},
      {"decode null text", base64_decode(nullptr, 4, out, 8), -2},
      {"decode null output with capacity", base64_decode("Zm8=", -1, nullptr, 3), -2},
      {"decode four characters into two", base64_decode("Zm8=", -1, out, 2), -1},
      {"decode four characters into three", base64_decode("Zm8=", -1, out, 3), 2},
      {"decode three characters into two", base64_decode("Zm8", -1, out, 2), -1},
      {"decode five characters into five", base64_decode("Zm9vY", -1, out, 5), -1},
      {"decode five characters into six", base64_decode("Zm9vY", -1, out, 6), 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.result, c.expected);
  }
}

}  // namespace
