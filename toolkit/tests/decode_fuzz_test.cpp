// Decoding reads bytes that come from the network. These tests feed damaged
// and random input to every decoder and check that each either decodes or
// raises RegError, that what decodes encodes again consistently, and that the
// codecs stay inside their input and output.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "RegBuf.h"
#include "RegCodec.h"
#include "RegError.h"
#include "RegFlagValue.h"
#include "RegIntValue.h"
#include "RegListValue.h"
#include "RegRawValue.h"
#include "RegStrMapValue.h"
#include "RegStrValue.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes encode(const RegValue& value) {
  RegBuf buf;
  value.write_value(buf);
  return Bytes(buf.data(), buf.data() + buf.length());
}

std::string dump(const Bytes& b) {
  std::string s;
  hex_append(s, b.data(), static_cast<int>(b.size()), " ");
  return s;
}

// Valid encodings the mutations start from.
std::vector<Bytes> corpus() {
  std::vector<Bytes> out;

  RegStrMapValue clear;
  clear.set_value("Message", std::make_unique<RegStrValue>("Clear"));
  clear.set_value("Target", std::make_unique<RegStrValue>(""));
  clear.set_value("SessionID", std::make_unique<RegStrValue>("42"));
  out.push_back(encode(clear));

  unsigned char digest[16];
  for (int i = 0; i < 16; ++i) digest[i] = static_cast<unsigned char>(0xF0 - i * 7);
  out.push_back(encode(RegFlagValue(1, std::make_unique<RegRawValue>(digest, 16))));

  for (const int64_t v : {int64_t{0}, int64_t{-129}, int64_t{1} << 40, INT64_MIN, INT64_MAX})
    out.push_back(encode(RegIntValue(v)));

  out.push_back(encode(RegStrValue(std::string(300, 'q').c_str())));
  out.push_back(encode(RegStrValue(L"caf\u00E9 \u20AC \U0001F600")));

  unsigned char block[300];
  for (int i = 0; i < 300; ++i) block[i] = static_cast<unsigned char>(i * 31);
  out.push_back(encode(RegRawValue(block, 300)));

  // Lists in lists, with every kind of item and a null one.
  RegListValue mixed;
  mixed.append(std::make_unique<RegIntValue>(-5));
  mixed.append(nullptr);
  mixed.append(std::make_unique<RegRawValue>(block, 130));
  auto inner = std::make_unique<RegListValue>();
  inner->append(std::make_unique<RegStrValue>("in"));
  auto innermost = std::make_unique<RegListValue>();
  innermost->append(std::make_unique<RegIntValue>(70000));
  inner->append(std::move(innermost));
  mixed.append(std::move(inner));
  out.push_back(encode(mixed));

  RegStrMapValue map;
  map.set_value(L"Color", std::make_unique<RegStrValue>("255,0,0"));
  map.set_value(L"Size", std::make_unique<RegIntValue>(12));
  map.set_value(L"Nested", mixed.clone());
  out.push_back(encode(map));
  return out;
}

enum class Target { raw, integer, text, list, flag, map, count };

std::unique_ptr<RegValue> make_target(Target t) {
  switch (t) {
    case Target::raw: return std::make_unique<RegRawValue>();
    case Target::integer: return std::make_unique<RegIntValue>();
    case Target::text: return std::make_unique<RegStrValue>();
    case Target::list: return std::make_unique<RegListValue>();
    case Target::flag: return std::make_unique<RegFlagValue>();
    case Target::map: return std::make_unique<RegStrMapValue>();
    case Target::count: break;
  }
  return nullptr;
}

class DecodeFuzz : public testing::Test {
protected:
  // Decodes input into every kind of value with the given limit. A failure
  // must be a RegError; a success must account for the bytes it used and
  // encode to something that decodes to the same encoding again.
  void decode_everywhere(const Bytes& input, int limit) {
    for (int t = 0; t < static_cast<int>(Target::count); ++t) {
      // The buffer is reused, so stale bytes from earlier inputs lie behind
      // the written length.
      RegBuf& buf = m_buffers[t];
      buf.reset();
      buf.append(input.data(), static_cast<int>(input.size()));
      auto value = make_target(static_cast<Target>(t));
      int left = 0;
      try {
        left = value->parse_value(buf, limit);
      } catch (const RegError& e) {
        if (e.code != -1 || !e.where || !e.text) fail(input, t, "malformed RegError");
        continue;
      }
      ++m_decoded;
      if (left < 0 || buf.position() != limit - left || buf.position() > static_cast<int>(input.size()))
        fail(input, t, "consumed bytes disagree with the limit left");
      check_reencode(*value, input, t);
    }
  }

  void check_reencode(const RegValue& value, const Bytes& input, int t) {
    const Bytes once = encode(value);
    const int size = value.data_size();
    if (static_cast<int>(once.size()) != 1 + RegBuf::size_length(size) + size)
      fail(input, t, "data_size disagrees with write_data");
    if (encode(*value.clone()) != once) fail(input, t, "clone encodes differently");
    std::string text;
    value.format(text, true);

    auto again = make_target(static_cast<Target>(t));
    RegBuf buf;
    buf.append(once.data(), static_cast<int>(once.size()));
    try {
      if (again->parse_value(buf, static_cast<int>(once.size())) != 0)
        fail(input, t, "re-encoding not fully consumed");
    } catch (const RegError& e) {
      fail(input, t, e.where);
      return;
    }
    if (encode(*again) != once) fail(input, t, "re-encoding is not stable");
  }

  void fail(const Bytes& input, int target, const char* what) {
    if (++m_failures <= 5) ADD_FAILURE() << what << " (target " << target << "): " << dump(input);
  }

  std::mt19937 m_random{20240611};
  RegBuf m_buffers[static_cast<int>(Target::count)];
  int m_failures = 0;
  int m_decoded = 0;

  int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }
  unsigned char any_byte() { return static_cast<unsigned char>(pick(0, 255)); }

  // A byte that keeps the decoder going: a type code, a short length, or any.
  unsigned char plausible_byte() {
    switch (pick(0, 3)) {
      case 0: return static_cast<unsigned char>(pick(0, 4));
      case 1: return static_cast<unsigned char>(pick(0, 12));
      case 2: return static_cast<unsigned char>(0x80 | pick(0, 3));
      default: return any_byte();
    }
  }

  Bytes mutate(const Bytes& original, const std::vector<Bytes>& all) {
    Bytes b = original;
    const int rounds = pick(1, 4);
    for (int r = 0; r < rounds; ++r) {
      const int at = b.empty() ? 0 : pick(0, static_cast<int>(b.size()) - 1);
      switch (pick(0, 7)) {
        case 0:  // bit flip
          if (!b.empty()) b[at] ^= static_cast<unsigned char>(1 << pick(0, 7));
          break;
        case 1:  // byte replaced
          if (!b.empty()) b[at] = plausible_byte();
          break;
        case 2:  // truncated
          b.resize(static_cast<size_t>(pick(0, static_cast<int>(b.size()))));
          break;
        case 3:  // extended
          for (int i = pick(1, 40); i > 0; --i) b.push_back(plausible_byte());
          break;
        case 4:  // a length field rewritten with one to five bytes
          if (b.size() > 1) {
            const int width = pick(1, 5);
            for (int i = 0; i < width && at + 1 + i < static_cast<int>(b.size()); ++i)
              b[at + 1 + i] = i + 1 < width ? static_cast<unsigned char>(0x80 | any_byte())
                                            : static_cast<unsigned char>(any_byte() & 0x7F);
          }
          break;
        case 5:  // byte inserted
          b.insert(b.begin() + at, plausible_byte());
          break;
        case 6:  // byte removed
          if (!b.empty()) b.erase(b.begin() + at);
          break;
        default: {  // another encoding spliced in
          const Bytes& other = all[static_cast<size_t>(pick(0, static_cast<int>(all.size()) - 1))];
          b.insert(b.begin() + at, other.begin(), other.end());
          break;
        }
      }
    }
    return b;
  }

  // The input's own length most of the time, else some other limit.
  int limit_for(const Bytes& b) {
    const int n = static_cast<int>(b.size());
    return pick(0, 3) ? n : pick(-1, n + 8);
  }
};

TEST_F(DecodeFuzz, EveryCorpusEntryDecodes) {
  for (const Bytes& b : corpus()) {
    const int before = m_decoded;
    decode_everywhere(b, static_cast<int>(b.size()));
    EXPECT_GT(m_decoded, before) << dump(b);
  }
  EXPECT_EQ(m_failures, 0);
}

TEST_F(DecodeFuzz, TruncatedAtEveryPoint) {
  for (const Bytes& b : corpus()) {
    for (size_t cut = 0; cut <= b.size(); ++cut) {
      const Bytes prefix(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(cut));
      decode_everywhere(prefix, static_cast<int>(prefix.size()));
      // The whole input under a shorter limit.
      decode_everywhere(b, static_cast<int>(cut));
    }
  }
  EXPECT_EQ(m_failures, 0);
}

TEST_F(DecodeFuzz, MutatedEncodings) {
  const std::vector<Bytes> all = corpus();
  for (int i = 0; i < 15000; ++i) {
    const Bytes& original = all[static_cast<size_t>(i) % all.size()];
    const Bytes input = mutate(original, all);
    decode_everywhere(input, limit_for(input));
  }
  EXPECT_EQ(m_failures, 0);
  EXPECT_GT(m_decoded, 0);  // the mutations are not all fatal
}

TEST_F(DecodeFuzz, RandomBuffers) {
  for (int i = 0; i < 15000; ++i) {
    Bytes input(static_cast<size_t>(pick(0, 48)));
    const bool plausible = pick(0, 1) != 0;
    for (auto& byte : input) byte = plausible ? plausible_byte() : any_byte();
    decode_everywhere(input, limit_for(input));
  }
  EXPECT_EQ(m_failures, 0);
}

// ---------------------------------------------------------------------------
// Codecs

// Input placed right before an inaccessible page: a read past n faults.
class GuardedInput {
public:
  GuardedInput() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    m_page = info.dwPageSize;
    m_base = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, 2 * m_page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    if (m_base) m_ok = VirtualProtect(m_base + m_page, m_page, PAGE_NOACCESS, &old) != FALSE;
  }
  ~GuardedInput() {
    if (m_base) VirtualFree(m_base, 0, MEM_RELEASE);
  }
  GuardedInput(const GuardedInput&) = delete;
  GuardedInput& operator=(const GuardedInput&) = delete;

  bool ok() const { return m_ok; }
  // The bytes end exactly at the inaccessible page.
  const unsigned char* place(const Bytes& b) {
    unsigned char* at = m_base + m_page - b.size();
    if (!b.empty()) std::memcpy(at, b.data(), b.size());
    return at;
  }

private:
  size_t m_page = 0;
  unsigned char* m_base = nullptr;
  bool m_ok = false;
};

constexpr unsigned char kGuard = 0xA5;
constexpr size_t kGuardBytes = 16;

class CodecFuzz : public testing::Test {
protected:
  std::mt19937 m_random{77};
  GuardedInput m_input;

  int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }

  Bytes random_text() {
    static const char kChars[] = "0123456789abcdefABCDEF-/ \r\nGz+=";
    Bytes b(static_cast<size_t>(pick(0, 40)));
    for (auto& c : b) {
      const int kind = pick(0, 9);
      c = kind == 0   ? static_cast<unsigned char>(pick(0x80, 0xFF))
          : kind == 1 ? static_cast<unsigned char>(pick(1, 0x7F))
                      : static_cast<unsigned char>(kChars[pick(0, sizeof kChars - 2)]);
    }
    return b;
  }

  // Calls the codec with a random capacity into an output with guard bytes
  // behind it; checks the result against the capacity and the guard.
  void run(const char* name, const Bytes& input, int upper,
           const std::function<int(const unsigned char*, int, unsigned char*, int)>& codec) {
    const int capacity = pick(0, upper + 2);
    Bytes out(static_cast<size_t>(capacity) + kGuardBytes, kGuard);
    const unsigned char* in = m_input.place(input);
    const int result = codec(in, static_cast<int>(input.size()), out.data(), capacity);
    bool guard_intact = true;
    for (size_t i = static_cast<size_t>(capacity); i < out.size(); ++i) guard_intact &= out[i] == kGuard;
    const int query = codec(in, static_cast<int>(input.size()), nullptr, 0);
    const bool query_agrees = result == -1 || query == result;
    if (!guard_intact || result > capacity || result < -2 || !query_agrees) {
      if (++m_failures <= 5)
        ADD_FAILURE() << name << " capacity " << capacity << " result " << result << " query "
                      << query << " guard " << guard_intact << ": " << dump(input);
    }
  }

  int m_failures = 0;
};

TEST_F(CodecFuzz, DecodersStayWithinInputAndCapacity) {
  ASSERT_TRUE(m_input.ok());
  for (int i = 0; i < 20000; ++i) {
    const Bytes text = random_text();
    const int n = static_cast<int>(text.size());
    run("hex_decode", text, n / 2 + 1, [](const unsigned char* in, int len, unsigned char* out, int cap) {
      return hex_decode(reinterpret_cast<const char*>(in), len, out, cap);
    });
    run("base64_decode", text, n / 4 * 3 + 3,
        [](const unsigned char* in, int len, unsigned char* out, int cap) {
          return base64_decode(reinterpret_cast<const char*>(in), len, out, cap);
        });
  }
  EXPECT_EQ(m_failures, 0);
}

TEST_F(CodecFuzz, EncodersStayWithinInputAndCapacity) {
  ASSERT_TRUE(m_input.ok());
  for (int i = 0; i < 20000; ++i) {
    Bytes bytes(static_cast<size_t>(pick(1, 40)));
    for (auto& b : bytes) b = static_cast<unsigned char>(pick(0, 255));
    const int n = static_cast<int>(bytes.size());
    const bool pad = pick(0, 1) != 0;
    run("hex_encode", bytes, 3 * n + 2 * (n / 4) + 1,
        [](const unsigned char* in, int len, unsigned char* out, int cap) {
          return hex_encode(in, len, reinterpret_cast<char*>(out), cap, "-", "/", "//");
        });
    run("base64_encode", bytes, (n + 2) / 3 * 4,
        [pad](const unsigned char* in, int len, unsigned char* out, int cap) {
          return base64_encode(in, len, reinterpret_cast<char*>(out), cap, pad);
        });
  }
  EXPECT_EQ(m_failures, 0);
}

TEST_F(CodecFuzz, EncodingsDecodeBack) {
  for (int i = 0; i < 5000; ++i) {
    Bytes bytes(static_cast<size_t>(pick(1, 64)));
    for (auto& b : bytes) b = static_cast<unsigned char>(pick(0, 255));
    const int n = static_cast<int>(bytes.size());
    const bool pad = pick(0, 1) != 0;

    std::string hex(static_cast<size_t>(hex_encode(bytes.data(), n, nullptr, 0, " ", "\r\n")), '\0');
    hex_encode(bytes.data(), n, hex.data(), static_cast<int>(hex.size()), " ", "\r\n");
    Bytes back(hex.size() / 2 + 1);
    ASSERT_EQ(hex_decode(hex.c_str(), static_cast<int>(hex.size()), back.data(),
                         static_cast<int>(back.size())), n) << hex;
    back.resize(static_cast<size_t>(n));
    ASSERT_EQ(back, bytes);

    std::string b64(static_cast<size_t>(base64_encode(bytes.data(), n, nullptr, 0, pad)), '\0');
    base64_encode(bytes.data(), n, b64.data(), static_cast<int>(b64.size()), pad);
    Bytes back64(b64.size() / 4 * 3 + 3);
    ASSERT_EQ(base64_decode(b64.c_str(), static_cast<int>(b64.size()), back64.data(),
                            static_cast<int>(back64.size())), n) << b64;
    back64.resize(static_cast<size_t>(n));
    ASSERT_EQ(back64, bytes);
  }
}

}  // namespace
