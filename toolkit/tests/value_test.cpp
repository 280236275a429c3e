#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <vector>

#include "RegBuf.h"
#include "RegError.h"
#include "RegFlagValue.h"
#include "RegIntValue.h"
#include "RegListValue.h"
#include "RegRawValue.h"
#include "RegStrMapValue.h"
#include "RegStrValue.h"
#include "RegValue.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Factory = std::function<std::unique_ptr<RegValue>()>;

// "03 2E 02" -> bytes; written here rather than with hex_decode so that the
// vectors do not depend on the codec under test.
Bytes bytes(const char* text) {
  Bytes out;
  int high = -1;
  for (const char* p = text; *p; ++p) {
    int v = -1;
    if (*p >= '0' && *p <= '9') v = *p - '0';
    if (*p >= 'A' && *p <= 'F') v = *p - 'A' + 10;
    if (v < 0) continue;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<unsigned char>(high << 4 | v));
      high = -1;
    }
  }
  return out;
}

Bytes encode(const RegValue& value) {
  RegBuf buf;
  value.write_value(buf);
  return Bytes(buf.data(), buf.data() + buf.length());
}

std::string text(const RegValue& value) {
  std::string s;
  value.format(s, true);
  return s;
}

RegBuf buffer(const Bytes& b) {
  RegBuf buf;
  buf.append(b.data(), static_cast<int>(b.size()));
  return buf;
}

// Decodes the whole of b into value; the value must use every byte.
void decode(RegValue& value, const Bytes& b) {
  RegBuf buf;
  buf.append(b.data(), static_cast<int>(b.size()));
  EXPECT_EQ(value.parse_value(buf, static_cast<int>(b.size())), 0);
  EXPECT_EQ(buf.remaining(), 0);
}

std::unique_ptr<RegValue> str(const char* s) { return std::make_unique<RegStrValue>(s); }
std::unique_ptr<RegValue> integer(int64_t v) { return std::make_unique<RegIntValue>(v); }
std::unique_ptr<RegValue> raw(const Bytes& b) {
  return std::make_unique<RegRawValue>(b.data(), static_cast<int>(b.size()));
}

template <typename List = RegListValue>
std::unique_ptr<List> list(std::vector<std::unique_ptr<RegValue>> items) {
  auto l = std::make_unique<List>();
  for (auto& item : items) l->append(std::move(item));
  return l;
}

// Builds a vector from move-only values.
template <typename... T>
std::vector<std::unique_ptr<RegValue>> items(T... values) {
  std::vector<std::unique_ptr<RegValue>> v;
  (v.push_back(std::move(values)), ...);
  return v;
}

Bytes sequence(int n) {
  Bytes b;
  for (int i = 0; i < n; ++i) b.push_back(static_cast<unsigned char>(i));
  return b;
}

const Bytes kDigest = bytes("D4 1D 8C D9 8F 00 B2 04 E9 80 09 98 EC F8 42 7E");

// The "Clear" annotation message body (the frame without its length prefix).
const char* const kClearBody =
    "03 2E 02 08 4D 65 73 73 61 67 65 00 02 06 43 6C 65 61 72 00 02 07 54 61 72 67 65 74 00 02 00"
    " 02 0A 53 65 73 73 69 6F 6E 49 44 00 02 03 34 32 00";

std::unique_ptr<RegStrMapValue> clear_message() {
  auto map = std::make_unique<RegStrMapValue>();
  map->set_value("Message", str("Clear"));
  map->set_value(L"Target", std::make_unique<RegStrValue>(L""));
  map->set_value("SessionID", str("42"));
  return map;
}

// ---------------------------------------------------------------------------
// Encoding

struct EncodeCase {
  const char* name;
  Factory make;
  const char* expected;
};

const EncodeCase kEncodeCases[] = {
    {"int 0", [] { return integer(0); }, "01 01 00"},
    {"int 127", [] { return integer(127); }, "01 01 7F"},
    {"int 128", [] { return integer(128); }, "01 02 00 80"},
    {"int -1", [] { return integer(-1); }, "01 01 FF"},
    {"int -128", [] { return integer(-128); }, "01 01 80"},
    {"int -129", [] { return integer(-129); }, "01 02 FF 7F"},
    {"int 32768", [] { return integer(32768); }, "01 03 00 80 00"},
    {"int -2^55 fits 7 bytes", [] { return integer(-(int64_t{1} << 55)); },
     "01 07 80 00 00 00 00 00 00"},
    {"int 2^55 needs 8 bytes", [] { return integer(int64_t{1} << 55); },
     "01 08 00 80 00 00 00 00 00 00"},
    {"int max", [] { return integer(INT64_MAX); }, "01 08 7F FF FF FF FF FF FF FF"},
    {"int min", [] { return integer(INT64_MIN); }, "01 08 80 00 00 00 00 00 00 00"},
    {"empty text", [] { return str(""); }, "02 00"},
    {"null text", [] { return std::make_unique<RegStrValue>(); }, "02 00"},
    {"text ab", [] { return str("ab"); }, "02 03 61 62 00"},
    {"wide text as UTF-8", [] { return std::make_unique<RegStrValue>(L"\u00E9\u20AC"); },
     "02 06 C3 A9 E2 82 AC 00"},
    {"empty raw", [] { return std::make_unique<RegRawValue>(); }, "00 00"},
    {"raw", [] { return raw(bytes("0A 0B 0C")); }, "00 03 0A 0B 0C"},
    {"empty list", [] { return list(items()); }, "03 00"},
    {"list with a null item", [] { return list(items(std::unique_ptr<RegValue>())); },
     "03 02 00 00"},
    {"nested list", [] { return list(items(list(items(integer(5))), str("a"))); },
     "03 09 03 03 01 01 05 02 02 61 00"},
    {"login flag list", [] { return std::make_unique<RegFlagValue>(1, raw(kDigest)); },
     "03 15 01 01 01 00 10 D4 1D 8C D9 8F 00 B2 04 E9 80 09 98 EC F8 42 7E"},
    {"negative flag is sign-extended", [] { return std::make_unique<RegFlagValue>(-1); },
     "03 03 01 01 FF"},
    {"clear message", [] { return std::unique_ptr<RegValue>(clear_message()); }, kClearBody},
};

TEST(RegValueEncoding, WritesTheExactBytes) {
  for (const auto& c : kEncodeCases) {
    SCOPED_TRACE(c.name);
    const auto value = c.make();
    const Bytes expected = bytes(c.expected);
    EXPECT_EQ(encode(*value), expected);
    // The payload size agrees with what is written after type and length.
    EXPECT_EQ(1 + RegBuf::size_length(value->data_size()) + value->data_size(),
              static_cast<int>(expected.size()));
  }
}

TEST(RegValueEncoding, LongPayloadsTakeLongerLengthFields) {
  const Bytes body = sequence(300);
  const Bytes encoded = encode(*raw(body));
  ASSERT_EQ(encoded.size(), 303u);
  EXPECT_EQ(Bytes(encoded.begin(), encoded.begin() + 3), bytes("00 82 2C"));

  const std::string long_text(20000, 'x');
  const Bytes text_encoded = encode(*str(long_text.c_str()));
  EXPECT_EQ(Bytes(text_encoded.begin(), text_encoded.begin() + 4), bytes("02 81 9C 21"));
  EXPECT_EQ(text_encoded.size(), 4u + 20001u);
}

TEST(RegValueEncoding, ClearMessageFramedIsTheFiftyTwoByteFrame) {
  // The channel puts the body length before the body, little-endian.
  const Bytes body = encode(*clear_message());
  Bytes frame = {static_cast<unsigned char>(body.size()), 0, 0, 0};
  frame.insert(frame.end(), body.begin(), body.end());
  ASSERT_EQ(frame.size(), 52u);
  EXPECT_EQ(frame[0], 0x30);
}

struct SizeCase {
  int n;
  const char* field;
};

const SizeCase kSizeCases[] = {
    {0, "00"},          {127, "7F"},          {128, "81 00"},          {300, "82 2C"},
    {16383, "FF 7F"},   {16384, "81 80 00"},  {2097151, "FF FF 7F"},   {2097152, "81 80 80 00"},
    {RegBuf::max_size, "FF FF FF 7F"},
};

TEST(RegBufLengthField, WritesAndParsesEachWidth) {
  for (const auto& c : kSizeCases) {
    SCOPED_TRACE(c.n);
    RegBuf buf;
    buf.write_size(c.n);
    const Bytes field = bytes(c.field);
    ASSERT_EQ(Bytes(buf.data(), buf.data() + buf.length()), field);
    EXPECT_EQ(RegBuf::size_length(c.n), static_cast<int>(field.size()));
    int n = -1;
    EXPECT_EQ(buf.parse_size(10, n), 10 - static_cast<int>(field.size()));
    EXPECT_EQ(n, c.n);
  }
}

// Claims a payload longer than the length field can carry.
class OversizedValue : public RegRawValue {
public:
  int data_size() const override { return RegBuf::max_size + 1; }
};

TEST(RegBufLengthField, RefusesPayloadsTheFieldCannotCarry) {
  RegBuf buf;
  EXPECT_THROW(buf.write_size(RegBuf::max_size + 1), std::length_error);
  EXPECT_THROW(buf.write_size(-1), std::length_error);
  EXPECT_THROW(OversizedValue().write_value(buf), std::length_error);
  EXPECT_EQ(buf.length(), 0);
}

// ---------------------------------------------------------------------------
// Decoding

TEST(RegValueDecoding, IntegersComeBackFromTheirEncoding) {
  const int64_t values[] = {0,          1,         -1,        127,       128,        -128,
                            -129,       255,       256,       32767,     -32769,     1 << 23,
                            INT32_MAX,  INT32_MIN, 1ll << 40, -(1ll << 47), INT64_MAX, INT64_MIN};
  for (const int64_t v : values) {
    SCOPED_TRACE(v);
    RegIntValue decoded(99);
    decode(decoded, encode(RegIntValue(v)));
    EXPECT_EQ(decoded.value(), v);
  }
}

TEST(RegValueDecoding, AcceptsNonMinimalForms) {
  RegIntValue wide_int;
  decode(wide_int, bytes("01 03 FF FF FE"));
  EXPECT_EQ(wide_int.value(), -2);

  RegIntValue long_field;
  decode(long_field, bytes("01 80 01 05"));
  EXPECT_EQ(long_field.value(), 5);

  RegIntValue empty_int(7);
  decode(empty_int, bytes("01 00"));
  EXPECT_EQ(empty_int.value(), 0);
}

TEST(RegValueDecoding, TextDropsTrailingZerosAndReadsUtf8) {
  RegStrValue a;
  decode(a, bytes("02 03 61 00 00"));
  EXPECT_STREQ(a.wstr(), L"a");

  RegStrValue accented;
  decode(accented, bytes("02 06 C3 A9 E2 82 AC 00"));
  EXPECT_STREQ(accented.wstr(), L"\u00E9\u20AC");

  RegStrValue empty(L"x");
  decode(empty, bytes("02 00"));
  EXPECT_TRUE(empty.is_null());
}

TEST(RegValueDecoding, NullListItemComesBackAsEmptyRaw) {
  RegListValue l;
  decode(l, bytes("03 02 00 00"));
  ASSERT_EQ(l.count(), 1);
  ASSERT_NE(l.item(0), nullptr);
  EXPECT_EQ(l.item(0)->type(), RegValue::type_raw);
  EXPECT_EQ(static_cast<RegRawValue*>(l.item(0))->length(), 0);
}

TEST(RegValueDecoding, NestedListsDecodeAsPlainLists) {
  RegStrMapValue map;
  decode(map, bytes("03 0A 02 02 6B 00 03 04 03 02 00 00"));
  ASSERT_EQ(map.count(), 2);
  EXPECT_EQ(typeid(*map.item(1)), typeid(RegListValue));
  EXPECT_EQ(text(map), "{ k => { { (0: ) } } }");
}

TEST(RegValueDecoding, ClearMessageDecodesToItsKeysAndValues) {
  RegStrMapValue map;
  decode(map, bytes(kClearBody));
  ASSERT_EQ(map.count(), 6);
  struct Entry {
    const char* key;
    const wchar_t* wkey;
    const wchar_t* value;
  };
  const Entry entries[] = {
      {"Message", L"Message", L"Clear"}, {"Target", L"Target", L""}, {"SessionID", L"SessionID", L"42"}};
  for (int i = 0; i < 3; ++i) {
    const Entry& e = entries[i];
    SCOPED_TRACE(e.key);
    EXPECT_EQ(map.find(e.key), 2 * i + 1);
    EXPECT_EQ(map.find(e.wkey), 2 * i + 1);
    const auto* value = dynamic_cast<const RegStrValue*>(map.get(e.wkey));
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(std::wstring(value->wstr() ? value->wstr() : L""), e.value);
  }
  EXPECT_EQ(map.find("message"), -1);
  EXPECT_EQ(map.get(L"Color"), nullptr);
  EXPECT_EQ(encode(map), bytes(kClearBody));
}

TEST(RegValueDecoding, LoginFlagListDecodes) {
  RegFlagValue flag;
  decode(flag, encode(RegFlagValue(1, raw(kDigest))));
  EXPECT_EQ(flag.flag(), 1);
  const auto* digest = dynamic_cast<const RegRawValue*>(flag.value());
  ASSERT_NE(digest, nullptr);
  EXPECT_EQ(Bytes(digest->data(), digest->data() + digest->length()), kDigest);
}

TEST(RegValueDecoding, ReturnsTheLimitLeftAndStopsAtTheValue) {
  RegBuf buf = buffer(bytes("01 01 05 02 02 61 00"));
  RegIntValue i;
  EXPECT_EQ(i.parse_value(buf, 7), 4);
  RegStrValue s;
  EXPECT_EQ(s.parse_value(buf, 4), 0);
  EXPECT_STREQ(s.str(), "a");
}

// Every fault of the encoding raises RegError with the documented source and text.
enum class Target { raw, integer, text, list, flag, map };

std::unique_ptr<RegValue> make_target(Target t) {
  switch (t) {
    case Target::raw: return std::make_unique<RegRawValue>();
    case Target::integer: return std::make_unique<RegIntValue>();
    case Target::text: return std::make_unique<RegStrValue>();
    case Target::list: return std::make_unique<RegListValue>();
    case Target::flag: return std::make_unique<RegFlagValue>();
    case Target::map: return std::make_unique<RegStrMapValue>();
  }
  return nullptr;
}

struct ErrorCase {
  const char* name;
  Target target;
  const char* input;
  int limit;  // -1: the input's length
  const char* where;
  const char* text;
};

const ErrorCase kErrorCases[] = {
    {"nothing to read", Target::integer, "", -1, "RegValue::parse_value", ""},
    {"zero limit", Target::integer, "01 01 00", 0, "RegValue::parse_value", ""},
    {"text into integer", Target::integer, "02 00", -1, "RegValue::parse_value", "type mismatch"},
    {"integer into map", Target::map, "01 01 00", -1, "RegValue::parse_value", "type mismatch"},
    {"nine-byte integer", Target::integer, "01 09 00 00 00 00 00 00 00 00 01", -1,
     "RegValue::parse_value", ""},
    {"five-byte length field", Target::raw, "00 80 80 80 80 00", -1, "RegValue::parse_size", ""},
    {"length field cut by the buffer", Target::raw, "00 80", 100, "RegValue::parse_size", ""},
    {"length field cut by the limit", Target::raw, "00 81 00", 2, "RegValue::parse_size", ""},
    {"payload beyond the limit", Target::integer, "01 01 05", 2, "RegValue::parse_value", ""},
    {"integer cut by the buffer", Target::integer, "01 02 05", 100, "RegIntValue::parse_data", ""},
    {"text cut by the buffer", Target::text, "02 05 61", 100, "RegStrValue::parse_data", ""},
    {"raw cut by the buffer", Target::raw, "00 05 61", 100, "RegValue::parse_value", ""},
    {"list cut by the buffer", Target::list, "03 05 01 01 00", 100, "RegListValue::parse_data", ""},
    {"unknown item type", Target::list, "03 02 07 00", -1, "RegListValue::parse_data",
     "invalid value type"},
    {"item longer than its list", Target::list, "03 03 00 05 AA AA AA AA AA", -1,
     "RegValue::parse_value", ""},
    {"flag list led by a text", Target::flag, "03 04 02 02 61 00", -1, "RegFlagValue::parse_data",
     "invalid flag type"},
    {"flag list of three", Target::flag, "03 09 01 01 01 01 01 02 01 01 03", -1,
     "RegFlagValue::parse_data", "extra value"},
    {"map of three items", Target::map, "03 06 02 00 02 00 02 00", -1, "RegStrMapValue::parse_data",
     "extra key"},
    {"map keyed by an integer", Target::map, "03 05 01 01 01 02 00", -1,
     "RegStrMapValue::parse_data", "invalid key type"},
};

TEST(RegValueDecoding, RaisesTheDocumentedErrors) {
  for (const auto& c : kErrorCases) {
    SCOPED_TRACE(c.name);
    const Bytes input = bytes(c.input);
    RegBuf buf = buffer(input);
    auto value = make_target(c.target);
    const int limit = c.limit < 0 ? static_cast<int>(input.size()) : c.limit;
    try {
      value->parse_value(buf, limit);
      ADD_FAILURE() << "decoded without error";
    } catch (const RegError& e) {
      EXPECT_STREQ(e.where, c.where);
      EXPECT_STREQ(e.text, c.text);
      EXPECT_EQ(e.code, -1);
      EXPECT_GT(e.line, 0);
    }
  }
}

// A decoder that read past the written length would find the rest of a valid
// encoding there: the buffer is refilled over its own earlier content.
TEST(RegValueDecoding, EveryStrictPrefixFailsEvenWithStaleBytesBehindIt) {
  for (const auto& c : kEncodeCases) {
    SCOPED_TRACE(c.name);
    const auto value = c.make();
    const Bytes full = encode(*value);
    RegBuf buf(static_cast<int>(full.size()));
    for (size_t cut = 0; cut < full.size(); ++cut) {
      buf.reset();
      buf.append(full.data(), static_cast<int>(full.size()));
      buf.reset();
      buf.append(full.data(), static_cast<int>(cut));
      auto target = value->clone();
      EXPECT_THROW(target->parse_value(buf, 1000), RegError) << "cut at " << cut;
      // The whole buffer but a limit one short of the value.
      buf.reset();
      buf.append(full.data(), static_cast<int>(full.size()));
      EXPECT_THROW(target->parse_value(buf, static_cast<int>(full.size()) - 1), RegError);
    }
  }
}

// Nested lists of the given depth around an empty list.
Bytes nested_lists(int depth) {
  Bytes inner = {0x03, 0x00};
  for (int i = 1; i < depth; ++i) {
    RegBuf buf;
    buf.write_byte(0x03);
    buf.write_size(static_cast<int>(inner.size()));
    buf.append(inner.data(), static_cast<int>(inner.size()));
    inner.assign(buf.data(), buf.data() + buf.length());
  }
  return inner;
}

TEST(RegValueDecoding, NestingIsBoundedInsteadOfExhaustingTheStack) {
  RegListValue deepest_allowed;
  decode(deepest_allowed, nested_lists(RegListValue::max_depth));

  for (const int depth : {RegListValue::max_depth + 1, 20000}) {
    SCOPED_TRACE(depth);
    const Bytes input = nested_lists(depth);
    RegBuf buf = buffer(input);
    RegStrMapValue map;
    try {
      map.parse_value(buf, static_cast<int>(input.size()));
      ADD_FAILURE() << "decoded without error";
    } catch (const RegError& e) {
      EXPECT_STREQ(e.where, "RegListValue::parse_data");
      EXPECT_STREQ(e.text, "nesting too deep");
    }
  }
  // The depth count unwinds with the error: full depth decodes again.
  RegListValue again;
  decode(again, nested_lists(RegListValue::max_depth));
}

// ---------------------------------------------------------------------------
// Readable text

struct FormatCase {
  const char* name;
  Factory make;
  const char* expected;
};

const FormatCase kFormatCases[] = {
    {"int 0", [] { return integer(0); }, "0x0 (0)"},
    {"int 255", [] { return integer(255); }, "0xFF (255)"},
    {"int -1", [] { return integer(-1); }, "0xFFFFFFFF (-1)"},
    {"int -4294967296", [] { return integer(-4294967296ll); }, "0x0 (-4294967296)"},
    {"int below -4294967296", [] { return integer(-4294967297ll); },
     "0xFFFFFFFEFFFFFFFF (-4294967297)"},
    {"int min", [] { return integer(INT64_MIN); }, "0x8000000000000000 (-9223372036854775808)"},
    {"int max", [] { return integer(INT64_MAX); }, "0x7FFFFFFFFFFFFFFF (9223372036854775807)"},
    {"raw", [] { return raw(bytes("0A 0B 0C")); }, "(3: 0A-0B-0C)"},
    {"empty raw", [] { return std::make_unique<RegRawValue>(); }, "(0: )"},
    {"raw of twenty", [] { return raw(sequence(20)); },
     "(20: 00-01-02-03/04-05-06-07/08-09-0A-0B/0C-0D-0E-0F//10-11-12-13)"},
    {"text", [] { return str("ab"); }, "ab"},
    {"control characters", [] { return str("a\tb\r\n\x1F" "c"); }, "a^b^^^c"},
    {"null text", [] { return std::make_unique<RegStrValue>(); }, ""},
    {"empty list", [] { return list(items()); }, "{  }"},
    {"list", [] { return list(items(integer(1), std::unique_ptr<RegValue>(), str("x"))); },
     "{ 0x1 (1); <null>; x }"},
    {"nested list", [] { return list(items(list(items(integer(2))), list(items()))); },
     "{ { 0x2 (2) }; {  } }"},
    {"flag list", [] { return std::make_unique<RegFlagValue>(1, raw(bytes("01 02"))); },
     "{ 0x1 (1) : (2: 01-02) }"},
    {"flag alone", [] { return std::make_unique<RegFlagValue>(7); }, "{ 0x7 (7) }"},
    {"flag list with extra items",
     [] { return list<RegFlagValue>(items(integer(1), str("x"), str("y"), str("z"))); },
     "{ 0x1 (1) : x; y; z }"},
    {"map", [] { return std::unique_ptr<RegValue>(clear_message()); },
     "{ Message => Clear; Target => ; SessionID => 42 }"},
    {"map with nulls and a trailing key",
     [] {
       return list<RegStrMapValue>(
           items(std::unique_ptr<RegValue>(), str("v"), str("k"), std::unique_ptr<RegValue>(), str("t")));
     },
     "{ <null> => v; k => <null>; t }"},
};

TEST(RegValueFormat, ReadableTexts) {
  for (const auto& c : kFormatCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(text(*c.make()), c.expected);
  }
}

TEST(RegValueFormat, ClearFlagDecidesBetweenReplacingAndAppending) {
  std::string s = "old ";
  RegIntValue(1).format(s, false);
  EXPECT_EQ(s, "old 0x1 (1)");
  RegIntValue(2).format(s, true);
  EXPECT_EQ(s, "0x2 (2)");
}

TEST(RegBufFormat, DumpsOnlyTheUnreadBytes) {
  RegBuf buf = buffer(sequence(21));
  buf.skip(1);
  std::string s = "x";
  buf.format(s, false);
  EXPECT_EQ(s, "x01-02-03-04/05-06-07-08/09-0A-0B-0C/0D-0E-0F-10//11-12-13-14");
  buf.skip(100);
  buf.format(s, true);
  EXPECT_EQ(s, "");
  RegBuf empty;
  EXPECT_EQ(empty.format(s, true), "");
}

// ---------------------------------------------------------------------------
// Conversion

struct AssignCase {
  const char* name;
  Target target;
  Factory source;
  bool result;
  const char* after;  // the target's text afterwards
};

std::unique_ptr<RegValue> nul_text() { return std::make_unique<RegStrValue>(); }

const AssignCase kAssignCases[] = {
    {"raw from raw", Target::raw, [] { return raw(bytes("01 02")); }, true, "(2: 01-02)"},
    {"raw from int", Target::raw, [] { return integer(128); }, true, "(2: 00-80)"},
    {"raw from text", Target::raw, [] { return str("ab"); }, true, "(3: 61-62-00)"},
    {"raw from list", Target::raw, [] { return list(items(integer(1))); }, true, "(3: 01-01-01)"},
    {"int from raw", Target::integer, [] { return raw(bytes("FF 7F")); }, true, "0xFFFFFF7F (-129)"},
    {"int from a nine-byte raw", Target::integer, [] { return raw(sequence(9)); }, false, "0x0 (0)"},
    {"int from int", Target::integer, [] { return integer(-5); }, true, "0xFFFFFFFB (-5)"},
    {"int from decimal text", Target::integer, [] { return str(" \t-42x7"); }, true,
     "0xFFFFFFD6 (-42)"},
    {"int from signed text", Target::integer, [] { return str("+17"); }, true, "0x11 (17)"},
    {"int from text without digits", Target::integer, [] { return str("abc"); }, true, "0x0 (0)"},
    {"int from null text", Target::integer, nul_text, true, "0x0 (0)"},
    {"int from huge text", Target::integer, [] { return str("123456789012345678901234"); }, true,
     "0x7FFFFFFFFFFFFFFF (9223372036854775807)"},
    {"int from huge negative text", Target::integer, [] { return str("-99999999999999999999"); },
     true, "0x8000000000000000 (-9223372036854775808)"},
    {"int from list", Target::integer, [] { return list(items()); }, false, "0x0 (0)"},
    {"text from raw", Target::text, [] { return raw(bytes("68 69 00")); }, true, "hi"},
    {"text from int", Target::text, [] { return integer(-1234); }, true, "-1234"},
    {"text from text", Target::text, [] { return str("same"); }, true, "same"},
    {"text from list", Target::text, [] { return list(items(str("a"))); }, false, ""},
    {"list from raw", Target::list, [] { return raw(bytes("01 01 05 02 00")); }, true,
     "{ 0x5 (5);  }"},
    {"list from a malformed raw", Target::list, [] { return raw(bytes("07 00")); }, false, "{  }"},
    {"list from int", Target::list, [] { return integer(1); }, false, "{  }"},
    {"list from text", Target::list, [] { return str("a"); }, false, "{  }"},
    {"list from list", Target::list,
     [] { return list(items(std::unique_ptr<RegValue>(), list(items(integer(1))))); }, true,
     "{ <null>; { 0x1 (1) } }"},
    {"flag from flag-shaped list", Target::flag, [] { return list(items(integer(3), str("v"))); },
     true, "{ 0x3 (3) : v }"},
    {"flag from list led by a text", Target::flag, [] { return list(items(str("v"))); }, false,
     "{  }"},
    {"flag from list of three", Target::flag,
     [] { return list(items(integer(1), integer(2), integer(3))); }, false, "{  }"},
    {"flag from raw of three integers", Target::flag,
     [] { return raw(bytes("01 01 01 01 01 02 01 01 03")); }, false, "{  }"},
    {"flag from raw of a flag", Target::flag, [] { return raw(bytes("01 01 02")); }, true,
     "{ 0x2 (2) }"},
    {"map from map-shaped list", Target::map, [] { return list(items(str("k"), integer(1))); }, true,
     "{ k => 0x1 (1) }"},
    {"map from list of three", Target::map, [] { return list(items(str("k"), str("v"), str("x"))); },
     false, "{  }"},
    {"map from list keyed by an integer", Target::map,
     [] { return list(items(integer(1), str("v"))); }, false, "{  }"},
    {"map from list with a null key", Target::map,
     [] { return list(items(std::unique_ptr<RegValue>(), str("v"))); }, true, "{ <null> => v }"},
};

TEST(RegValueAssign, ConvertsAsTheTableSays) {
  for (const auto& c : kAssignCases) {
    SCOPED_TRACE(c.name);
    auto target = make_target(c.target);
    // Targets start full, to show that assign replaces what was there.
    const auto seed = c.target == Target::integer ? integer(99) : raw(bytes("01 01 09"));
    target->assign(*seed);
    const auto source = c.source();
    EXPECT_EQ(target->assign(*source), c.result);
    EXPECT_EQ(text(*target), c.after);
  }
}

TEST(RegValueAssign, NullTextStaysNullAndWideFormIsCopied) {
  RegStrValue target("old");
  EXPECT_TRUE(target.assign(RegStrValue()));
  EXPECT_TRUE(target.is_null());
  EXPECT_TRUE(target.assign(RegStrValue(L"\u00E9t\u00E9")));
  EXPECT_STREQ(target.wstr(), L"\u00E9t\u00E9");
}

TEST(RegValueAssign, FromItselfOrItsOwnItemKeepsTheContent) {
  auto l = list(items(list(items(integer(1), str("a"))), integer(2)));
  EXPECT_TRUE(l->assign(*l));
  EXPECT_EQ(text(*l), "{ { 0x1 (1); a }; 0x2 (2) }");
  // The source is deleted by the assignment it feeds; it is copied first.
  EXPECT_TRUE(l->assign(*l->item(0)));
  EXPECT_EQ(text(*l), "{ 0x1 (1); a }");

  RegRawValue r(bytes("01 02").data(), 2);
  EXPECT_TRUE(r.assign(r));
  EXPECT_EQ(text(r), "(2: 01-02)");
}

TEST(RegValueClone, DeepCopiesOfTheSameClass) {
  for (const auto& c : kEncodeCases) {
    SCOPED_TRACE(c.name);
    auto original = c.make();
    const auto copy = original->clone();
    EXPECT_EQ(typeid(*copy), typeid(*original));
    EXPECT_EQ(encode(*copy), encode(*original));
    original->clear();
    EXPECT_EQ(encode(*copy), bytes(c.expected));
  }
}

// ---------------------------------------------------------------------------
// Lists and maps

// An item that reports its own deletion.
class TrackedValue : public RegIntValue {
public:
  TrackedValue(int64_t v, int& deleted) : RegIntValue(v), m_deleted(deleted) {}
  ~TrackedValue() override { ++m_deleted; }

private:
  int& m_deleted;
};

struct EraseCase {
  int index;
  int count;
  const char* left;
};

const EraseCase kEraseCases[] = {
    {2, 1, "{ 0x0 (0); 0x1 (1); 0x3 (3); 0x4 (4) }"},
    {2, 2, "{ 0x0 (0); 0x1 (1); 0x4 (4) }"},
    {2, -1, "{ 0x0 (0); 0x1 (1) }"},
    {2, 3, "{ 0x0 (0); 0x1 (1) }"},
    {2, 50, "{ 0x0 (0); 0x1 (1) }"},
    {0, 5, "{  }"},
    {0, 0, "{ 0x0 (0); 0x1 (1); 0x2 (2); 0x3 (3); 0x4 (4) }"},
    {5, 1, "{ 0x0 (0); 0x1 (1); 0x2 (2); 0x3 (3); 0x4 (4) }"},
    {-1, 1, "{ 0x0 (0); 0x1 (1); 0x2 (2); 0x3 (3); 0x4 (4) }"},
};

TEST(RegListValueOps, EraseRemovesAndDeletes) {
  for (const auto& c : kEraseCases) {
    SCOPED_TRACE(testing::Message() << c.index << "," << c.count);
    int deleted = 0;
    RegListValue l;
    for (int i = 0; i < 5; ++i) l.append(std::make_unique<TrackedValue>(i, deleted));
    l.erase(c.index, c.count);
    EXPECT_EQ(text(l), c.left);
    EXPECT_EQ(deleted, 5 - l.count());
  }
}

TEST(RegListValueOps, SetItemReplacesDeletesAndRejectsOutside) {
  int deleted = 0;
  RegListValue l;
  l.append(std::make_unique<TrackedValue>(1, deleted));
  EXPECT_FALSE(l.set_item(1, std::make_unique<TrackedValue>(2, deleted)));
  EXPECT_EQ(deleted, 1);  // the value that found no place
  EXPECT_TRUE(l.set_item(0, std::make_unique<TrackedValue>(3, deleted)));
  EXPECT_EQ(deleted, 2);
  EXPECT_EQ(text(l), "{ 0x3 (3) }");
  // Storing the item already there neither deletes nor double-owns it.
  EXPECT_TRUE(l.set_item(0, std::unique_ptr<RegValue>(l.item(0))));
  EXPECT_EQ(deleted, 2);
  EXPECT_TRUE(l.set_item(0, nullptr));
  EXPECT_EQ(deleted, 3);
  EXPECT_EQ(text(l), "{ <null> }");
}

TEST(RegListValueOps, CreateItemKnowsTheFourTypes) {
  RegListValue l;
  EXPECT_EQ(typeid(*l.create_item(0, 0)), typeid(RegRawValue));
  EXPECT_EQ(typeid(*l.create_item(0, 1)), typeid(RegIntValue));
  EXPECT_EQ(typeid(*l.create_item(0, 2)), typeid(RegStrValue));
  EXPECT_EQ(typeid(*l.create_item(0, 3)), typeid(RegListValue));
  EXPECT_EQ(l.create_item(0, 4), nullptr);
  EXPECT_EQ(l.create_item(0, -1), nullptr);
}

TEST(RegStrMapValueOps, SetValueOnATrailingKeyReplacesIt) {
  int deleted = 0;
  RegStrMapValue map;
  map.append(str("A"));
  map.append(str("a"));
  map.append(std::make_unique<RegStrValue>("B"));
  EXPECT_EQ(map.find("B"), -1);  // a key without a value is not found
  EXPECT_TRUE(map.set_value("C", std::make_unique<TrackedValue>(3, deleted)));
  EXPECT_EQ(text(map), "{ A => a; C => 0x3 (3) }");
  EXPECT_TRUE(map.set_value(L"C", integer(4)));
  EXPECT_EQ(deleted, 1);
  EXPECT_EQ(map.count(), 4);
  EXPECT_EQ(text(map), "{ A => a; C => 0x4 (4) }");
}

TEST(RegStrMapValueOps, FindsTheLastOfRepeatedKeysInEitherWidth) {
  RegStrMapValue map;
  for (const char* entry : {"k", "first", "other", "x", "k", "second"}) map.append(str(entry));
  map.append(integer(1));  // not a text: skipped as a key
  map.append(str("y"));
  EXPECT_EQ(map.find("k"), 5);
  EXPECT_EQ(map.find(L"k"), 5);
  EXPECT_EQ(map.find("K"), -1);
  EXPECT_EQ(map.find(static_cast<const char*>(nullptr)), -1);
  EXPECT_EQ(text(*map.get("k")), "second");
  EXPECT_FALSE(map.set_value(static_cast<const wchar_t*>(nullptr), integer(1)));
}

TEST(RegStrMapValueOps, NewKeysKeepTheWidthTheyWereGivenIn) {
  RegStrMapValue map;
  map.set_value(L"w\u00E9", str("1"));
  map.set_value("n", str("2"));
  const auto* wide_key = static_cast<const RegStrValue*>(map.item(0));
  EXPECT_STREQ(wide_key->wstr(), L"w\u00E9");
  EXPECT_EQ(map.find(L"w\u00E9"), 1);
  EXPECT_EQ(Bytes(encode(map)), bytes("03 12 02 04 77 C3 A9 00 02 02 31 00 02 02 6E 00 02 02 32 00"));
  // A key from the wire that is empty matches the empty key.
  RegStrMapValue decoded;
  decode(decoded, bytes("03 04 02 00 02 00"));
  EXPECT_EQ(decoded.find(""), 1);
  EXPECT_EQ(decoded.find(L""), 1);
}

// ---------------------------------------------------------------------------
// Texts

TEST(RegStrValueForms, MadeOnDemandAndDiscardedOnChange) {
  RegStrValue s("abc");
  EXPECT_STREQ(s.wstr(), L"abc");
  EXPECT_EQ(s.wstr_len(), 3);
  EXPECT_EQ(s.data_size(), 4);
  s.set_wstr(L"de", -1);
  EXPECT_STREQ(s.str(), "de");
  EXPECT_EQ(s.data_size(), 3);  // the cached size follows the text
  s.set_str("xyz", 2);
  EXPECT_STREQ(s.wstr(), L"xy");
  EXPECT_EQ(s.data_size(), 3);
  s.set_str(nullptr, -1);
  EXPECT_TRUE(s.is_null());
  EXPECT_EQ(s.str(), nullptr);
  EXPECT_EQ(s.data_size(), 0);
  s.set_str("", -1);
  EXPECT_FALSE(s.is_null());
  EXPECT_EQ(s.data_size(), 0);
}

// ---------------------------------------------------------------------------
// Buffer

class ExactGrowth : public RegBuf {
public:
  int grow(int, int needed) override { return needed; }
};

class StingyGrowth : public RegBuf {
public:
  int grow(int, int) override { return 1; }
};

struct GrowthCase {
  const char* name;
  int initial;
  std::vector<int> appends;
  std::vector<int> capacities;  // after each append
};

const GrowthCase kGrowthCases[] = {
    {"empty starts at 64 then doubles", 0, {1, 63, 1, 63, 1}, {64, 64, 128, 128, 256}},
    {"jumps to the need when doubling is short", 0, {1, 64, 300}, {64, 128, 365}},
    {"initial capacity doubles", 10, {10, 1}, {10, 20}},
    {"first write larger than 64", 0, {100}, {100}},
};

TEST(RegBufGrowth, DoublesOrJumpsToTheNeed) {
  for (const auto& c : kGrowthCases) {
    SCOPED_TRACE(c.name);
    RegBuf buf(c.initial);
    EXPECT_EQ(buf.capacity(), c.initial);
    const Bytes chunk = sequence(400);
    for (size_t i = 0; i < c.appends.size(); ++i) {
      EXPECT_EQ(buf.append(chunk.data(), c.appends[i]), c.appends[i]);
      EXPECT_EQ(buf.capacity(), c.capacities[i]) << "after append " << i;
    }
  }
}

TEST(RegBufGrowth, KeepsContentAndAsksTheVirtualGrow) {
  ExactGrowth exact;
  exact.append("abc", -1);
  exact.append("de", -1);
  EXPECT_EQ(exact.capacity(), 5);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(exact.data()), 5), "abcde");
  // Appending its own content while it moves to a larger array.
  EXPECT_EQ(exact.append(exact.data() + 1, 4), 4);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(exact.data()), 9), "abcdebcde");
  // A grow() that answers too little still gets the room that is needed.
  StingyGrowth stingy;
  stingy.append("abcdef", 6);
  EXPECT_GE(stingy.capacity(), 6);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(stingy.data()), 6), "abcdef");
}

TEST(RegBufGrowth, AppendOfNullOrStrings) {
  RegBuf buf;
  EXPECT_EQ(buf.append(nullptr, -1), 0);
  EXPECT_EQ(buf.append(nullptr, 5), 0);
  EXPECT_EQ(buf.append("hello", -1), 5);
  EXPECT_EQ(buf.length(), 5);
  EXPECT_EQ(buf.read_byte(), 'h');
  EXPECT_EQ(buf.peek(), 'e');
  char out[8] = {};
  EXPECT_FALSE(buf.read(out, 5));
  EXPECT_TRUE(buf.read(out, 4));
  EXPECT_EQ(buf.peek(), -1);
  EXPECT_EQ(buf.read_byte(), -1);
}

}  // namespace
