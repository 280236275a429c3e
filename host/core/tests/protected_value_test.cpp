// The coding schemes of protected values: the exact codes, what decodes
// back, and the one error line each refusal writes to the "controller"
// logger.
#include "ProtectedValueCodec.h"

#include "Bstr.h"
#include "EnvironmentOverride.h"
#include "LogCapture.h"
#include "Logger.h"

#include <gtest/gtest.h>

#include <cwctype>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The fixed start of every "LogIn" code: list of 21 bytes, integer 1, raw
// value of 16 bytes.
constexpr std::wstring_view kLogInPrefix = L"03150101010010";

// Every level on, whatever the registry of the machine says.
class ProtectedValueTest : public testing::Test {
protected:
  // The messages written to the "controller" logger since the last call;
  // every one of them must be an error.
  std::vector<std::string> takeLines() {
    std::vector<std::string> lines;
    const std::vector<LogCapture::Record> records = m_capture.records("controller");
    for (std::size_t i = m_seen; i < records.size(); ++i) {
      EXPECT_EQ(records[i].level, Logger::kError) << records[i].message;
      lines.push_back(records[i].message);
    }
    m_seen = records.size();
    return lines;
  }

  // A result that must be a text (possibly empty, never null).
  static std::wstring textOf(const Bstr& result) {
    EXPECT_FALSE(result.isNull());
    return result.str();
  }

  using Lines = std::vector<std::string>;

  EnvironmentOverride m_level{L"MIRDEX_LOG_LEVEL", L"1"};
  LogCapture m_capture;
  std::size_t m_seen = 0;
  const ProtectedValueCodec m_codec;
};

struct TextCase {
  const wchar_t* text;
  const wchar_t* code;
};

// MD5 digests (RFC 1321) of the UTF-8 bytes.
constexpr TextCase kLogInCases[] = {
    {L"", L"D41D8CD98F00B204E9800998ECF8427E"},
    {L"abc", L"900150983CD24FB0D6963F7D28E17F72"},
    {L"The quick brown fox jumps over the lazy dog", L"9E107D9D372BB6826BD81D3542A419D6"},
    {L"J\u00FCrgen", L"EBAF432FE1D5FC33EFFAA72D7ABD3E3B"},
    {L"\u5BC6\u7801", L"A8105204604A0B11E916F3879AAE3B0B"},
};

TEST_F(ProtectedValueTest, LogInIsTheFlagListOfTheMd5Digest) {
  for (const TextCase& c : kLogInCases) {
    for (const wchar_t* purpose : {L"LogIn", L"LOGIN", L"login"}) {
      SCOPED_TRACE(testing::Message() << "purpose " << purpose << " text " << c.text);
      const std::wstring code = textOf(m_codec.encode(purpose, c.text));
      EXPECT_EQ(code.size(), 46u);
      EXPECT_EQ(code, std::wstring(kLogInPrefix) + c.code);
    }
  }
  EXPECT_EQ(takeLines(), Lines{});
}

TEST_F(ProtectedValueTest, LogInCannotBeDecoded) {
  const std::wstring code = textOf(m_codec.encode(L"LogIn", L"abc"));
  EXPECT_TRUE(m_codec.decode(L"LogIn", code.c_str()).isNull());
  EXPECT_TRUE(m_codec.decode(L"LOGIN", L"").isNull());
  EXPECT_EQ(takeLines(), (Lines{"CFrameworkController:Decode(LogIn): LogIn password is not decryptable",
                               "CFrameworkController:Decode(LOGIN): LogIn password is not decryptable"}));
}

// Standard Base64 with the '=' left out: two bytes give three characters.
constexpr TextCase kProxyCases[] = {
    {L"", L""},
    {L"f", L"Zg"},
    {L"fo", L"Zm8"},
    {L"foo", L"Zm9v"},
    {L"foob", L"Zm9vYg"},
    {L"user:pass", L"dXNlcjpwYXNz"},
    {L"J\u00FCrgen", L"SsO8cmdlbg"},
    {L"\u8BBF\u95EE", L"6K6/6Zeu"},
};

TEST_F(ProtectedValueTest, ProxyIsBase64WithoutPadding) {
  for (const TextCase& c : kProxyCases) {
    SCOPED_TRACE(testing::Message() << "text " << c.text);
    EXPECT_EQ(textOf(m_codec.encode(L"Proxy", c.text)), c.code);
    EXPECT_EQ(textOf(m_codec.encode(L"PROXY", c.text)), c.code);
    EXPECT_EQ(textOf(m_codec.decode(L"proxy", c.code)), c.text);
  }
  EXPECT_EQ(takeLines(), Lines{});
}

TEST_F(ProtectedValueTest, ProxyDecodeSkipsPaddingAndOtherCharacters) {
  const TextCase cases[] = {
      {L"fo", L"Zm8="},
      {L"f", L"Zg=="},
      {L"J\u00FCrgen", L"SsO8cmdlbg=="},
      {L"J\u00FCrgen", L" SsO8\r\ncmdl bg==\n"},
      {L"", L"===="},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "code " << c.code);
    EXPECT_EQ(textOf(m_codec.decode(L"Proxy", c.code)), c.text);
  }
  EXPECT_EQ(takeLines(), Lines{});
}

// Codes made with the program's key and vector, computed with an
// independent implementation of the cipher. Codes stored by earlier
// releases must stay readable: if this fails, the key, the vector or the
// cipher has changed.
constexpr TextCase kAccessCodes[] = {
    {L"a", L"07A0"},
    {L"Mirdex access 1.0", L"056036A38D82DE0591CA1D11A0FDFC530180"},
    {L"xxxxxxxxxxxxxxxxxxxx", L"063126024C52DB84007BACC1104878C66501B33BF0"},
    {L"J\u00FCrgen", L"051A9A42EDA30AE0"},
    {L"\u8BBF\u95EE", L"0F3C4A7B52AFB0"},
    {L"\U0001F600", L"0EBF580DC0"},
};

TEST_F(ProtectedValueTest, MirdexAccessCodesStayReadable) {
  for (const TextCase& c : kAccessCodes) {
    SCOPED_TRACE(testing::Message() << "code " << c.code);
    EXPECT_EQ(textOf(m_codec.encode(L"MirdexAccess", c.text)), c.code);
    EXPECT_EQ(textOf(m_codec.decode(L"MIRDEXACCESS", c.code)), c.text);
  }
  EXPECT_EQ(takeLines(), Lines{});
}

TEST_F(ProtectedValueTest, MirdexAccessRoundTrips) {
  std::wstring longText;
  for (int i = 0; i < 50; ++i) longText += L"0123456789\u00E9\u4E2D ";
  const std::wstring texts[] = {
      L"",
      L"x",
      L"secret",
      L"12345678",
      L"0",
      L"J\u00FCrgen M\u00FCller",
      L"\u4E2D\u6587\u5BC6\u7801",
      L"emoji \U0001F600 \U0001F680",
      longText,
  };
  for (const std::wstring& text : texts) {
    SCOPED_TRACE(testing::Message() << "text " << text);
    const std::wstring code = textOf(m_codec.encode(L"MirdexAccess", text.c_str()));
    EXPECT_EQ(textOf(m_codec.encode(L"MirdexAccess", text.c_str())), code);
    EXPECT_EQ(textOf(m_codec.decode(L"MirdexAccess", code.c_str())), text);
    if (text.empty()) {
      EXPECT_EQ(code, L"");
      continue;
    }
    const std::string utf8 = Bstr(text).toUtf8();
    ASSERT_EQ(code.size(), 2 + 2 * utf8.size());
    EXPECT_EQ(code.front(), L'0');
    EXPECT_EQ(code.back(), L'0');
    EXPECT_EQ(code.find_first_not_of(L"0123456789ABCDEF"), std::wstring::npos);
    // Lower-case digits are read as well.
    std::wstring lower = code;
    for (wchar_t& ch : lower) ch = static_cast<wchar_t>(std::towlower(ch));
    EXPECT_EQ(textOf(m_codec.decode(L"MirdexAccess", lower.c_str())), text);
  }
  EXPECT_EQ(takeLines(), Lines{});
}

TEST_F(ProtectedValueTest, MirdexAccessDecodeOfOddShapes) {
  struct Case {
    const wchar_t* code;
    const wchar_t* text;  // null: refused
  };
  const Case cases[] = {
      {L"", L""},
      {L"00", L""},
      {L"0", nullptr},
      {L"ABC", nullptr},
      {L"07A", nullptr},
      {L"A7A0", nullptr},
      {L"0A0B0", L""},  // odd middle part
      {L"0ZZ0", L""},   // malformed middle part
      {L"07Z0", L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "code " << c.code);
    const Bstr text = m_codec.decode(L"MirdexAccess", c.code);
    if (c.text) {
      EXPECT_EQ(textOf(text), c.text);
      EXPECT_EQ(takeLines(), Lines{});
    } else {
      EXPECT_TRUE(text.isNull());
      EXPECT_EQ(takeLines(), Lines{"CFrameworkController:Decode(MirdexAccess): unknown coding scheme"});
    }
  }
}

// No integrity check: a damaged middle gives other text, without an error.
TEST_F(ProtectedValueTest, MirdexAccessDamagedCodeGivesOtherText) {
  std::wstring code = textOf(m_codec.encode(L"MirdexAccess", L"secret"));
  code[3] = code[3] == L'F' ? L'E' : L'F';
  const std::wstring text = textOf(m_codec.decode(L"MirdexAccess", code.c_str()));
  EXPECT_EQ(text.size(), 6u);
  EXPECT_NE(text, L"secret");
  EXPECT_EQ(text.substr(2), L"cret");
  EXPECT_EQ(takeLines(), Lines{});
}

// A reversible code must give back the text it was made from, so a text
// that UTF-8 cannot represent (an unpaired surrogate) is refused instead of
// being stored with a replacement character. The one-way "LogIn" digest has
// nothing to give back and takes the repaired text.
TEST_F(ProtectedValueTest, UnpairedSurrogateIsRefusedByReversibleSchemes) {
  const wchar_t* const broken = L"a\xD800" L"b";
  EXPECT_TRUE(m_codec.encode(L"Proxy", broken).isNull());
  EXPECT_TRUE(m_codec.encode(L"MirdexAccess", broken).isNull());
  EXPECT_EQ(takeLines(), (Lines{"CFrameworkController:Encode(Proxy): fail to convert src",
                               "CFrameworkController:Encode(MirdexAccess): fail to convert src"}));
  EXPECT_EQ(textOf(m_codec.encode(L"LogIn", broken)), textOf(m_codec.encode(L"LogIn", L"a\xFFFD" L"b")));
  EXPECT_EQ(takeLines(), Lines{});
}

TEST_F(ProtectedValueTest, UnsupportedPurposes) {
  for (const char* purpose : {"", "Login2", "Log In", "Proxy ", "Mirdex", "Access"}) {
    SCOPED_TRACE(testing::Message() << "purpose " << purpose);
    const Bstr wide = Bstr::fromUtf8(purpose);
    EXPECT_TRUE(m_codec.encode(wide.c_str(), L"text").isNull());
    EXPECT_TRUE(m_codec.decode(wide.c_str(), L"text").isNull());
    EXPECT_EQ(takeLines(), (Lines{"CFrameworkController:Encode(" + std::string(purpose) + "): unsupported purpose",
                                 "CFrameworkController:Decode(" + std::string(purpose) + "): unsupported purpose"}));
  }
}

TEST_F(ProtectedValueTest, NullArgumentsAreRefused) {
  EXPECT_TRUE(m_codec.encode(nullptr, L"text").isNull());
  EXPECT_TRUE(m_codec.encode(L"Proxy", nullptr).isNull());
  EXPECT_TRUE(m_codec.decode(L"MirdexAccess", nullptr).isNull());
  EXPECT_TRUE(m_codec.decode(nullptr, nullptr).isNull());
  EXPECT_EQ(takeLines(), (Lines{"CFrameworkController:Encode((null)): invalid parameters",
                               "CFrameworkController:Encode(Proxy): invalid parameters",
                               "CFrameworkController:Decode(MirdexAccess): invalid parameters",
                               "CFrameworkController:Decode((null)): invalid parameters"}));
}

}  // namespace
