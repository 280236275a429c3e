// The configuration service against the real registry. Sections live under
// the test's own names below the configuration keys and are removed again.
#include "CConfig.h"

#include "CreatedKeys.h"

#include "Bstr.h"
#include "ComApartment.h"
#include "ComCreator.h"
#include "ComObject.h"
#include "DispatchCall.h"
#include "UniqueHandle.h"
#include "Variant.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kUserConfig[] = L"Software\\Mirdex\\Config";
constexpr wchar_t kMachineConfig[] = L"SOFTWARE\\Mirdex\\Config";

// A registry value as stored: type and bytes.
struct Raw {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;

  friend bool operator==(const Raw&, const Raw&) = default;
};

Raw bytesOf(DWORD type, const void* data, size_t size) {
  const BYTE* p = static_cast<const BYTE*>(data);
  return {type, std::vector<BYTE>(p, p + size)};
}
Raw text(std::wstring_view s, DWORD type = REG_SZ) {
  std::wstring terminated(s);
  return bytesOf(type, terminated.c_str(), (terminated.size() + 1) * sizeof(wchar_t));
}
Raw dword(DWORD n) { return bytesOf(REG_DWORD, &n, sizeof(n)); }
Raw qword(ULONGLONG n) { return bytesOf(REG_QWORD, &n, sizeof(n)); }
Raw binary() {
  const BYTE data[] = {1, 2, 3};
  return bytesOf(REG_BINARY, data, sizeof(data));
}

void writeRaw(HKEY root, const std::wstring& path, const wchar_t* name, const Raw& raw) {
  ASSERT_EQ(::RegSetKeyValueW(root, path.c_str(), name, raw.type, raw.data.data(),
                              static_cast<DWORD>(raw.data.size())),
            ERROR_SUCCESS);
}

std::optional<Raw> readRaw(HKEY root, const std::wstring& path, const wchar_t* name) {
  RegKey key;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (::RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  Raw raw{type, std::vector<BYTE>(size)};
  if (::RegQueryValueExW(key.get(), name, nullptr, &type, raw.data.data(), &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  raw.data.resize(size);
  return raw;
}

bool keyExists(HKEY root, const std::wstring& path) {
  RegKey key;
  return ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

std::wstring uniqueName(const wchar_t* what) {
  return std::wstring(L"SvcTest") + what + std::to_wstring(::GetCurrentProcessId());
}

ComPtr<IConfig> newRoot() {
  ComPtr<IConfig> root;
  EXPECT_EQ(ComObject<CConfig>::createInstance(IID_IConfig, root.putVoid()), S_OK);
  return root;
}

ComPtr<IConfig> section(IConfig* root, const std::wstring& name, bool user) {
  ComPtr<IConfig> config;
  EXPECT_EQ(root->CreateConfig(Bstr(name).get(), user ? VARIANT_TRUE : VARIANT_FALSE,
                               config.put()),
            S_OK);
  return config;
}

// One user-level section of the test's own, with raw access to its key.
class ConfigTest : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(m_com.ok());
    ::RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str());
    m_root = newRoot();
    m_config = section(m_root.get(), m_name, true);
    ASSERT_NE(m_config, nullptr);
  }
  void TearDown() override {
    m_config.reset();
    m_root.reset();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str());
  }

  void put(const wchar_t* name, const Raw& raw) { writeRaw(HKEY_CURRENT_USER, m_path, name, raw); }
  std::optional<Raw> stored(const wchar_t* name) {
    return readRaw(HKEY_CURRENT_USER, m_path, name);
  }

  ComApartment m_com;
  CreatedKeys m_userKeys{HKEY_CURRENT_USER, kUserConfig};
  const std::wstring m_name = uniqueName(L"Config");
  const std::wstring m_path = std::wstring(kUserConfig) + L"\\" + m_name;
  ComPtr<IConfig> m_root;
  ComPtr<IConfig> m_config;
  const Bstr m_key{L"value"};
};

TEST_F(ConfigTest, PluginMembersAndSectionIdentity) {
  Bstr text;
  ASSERT_EQ(m_root->get_PluginName(text.put()), S_OK);
  EXPECT_EQ(text, L"Config,1.0");
  ASSERT_EQ(m_root->get_PluginDesc(text.put()), S_OK);
  EXPECT_EQ(text, L"Configurations storage");
  ASSERT_EQ(m_root->get_PluginTarget(text.put()), S_OK);
  EXPECT_EQ(text, L"FrameworkController,1.0");
  ASSERT_EQ(m_root->get_PluginBaseUrl(text.put()), S_OK);
  EXPECT_TRUE(text.view().starts_with(L"res://"));
  EXPECT_TRUE(text.view().ends_with(L".exe/_HTML_/"));

  VARIANT_BOOL user = VARIANT_TRUE;
  ASSERT_EQ(m_root->get_Name(text.put()), S_OK);
  EXPECT_EQ(text, L"");
  ASSERT_EQ(m_root->get_user(&user), S_OK);
  EXPECT_EQ(user, VARIANT_FALSE);
  ASSERT_EQ(m_config->get_Name(text.put()), S_OK);
  EXPECT_EQ(text, m_name);
  ASSERT_EQ(m_config->get_user(&user), S_OK);
  EXPECT_EQ(user, VARIANT_TRUE);

  // A section made from a section is still relative to the configuration
  // root, not nested in its creator.
  ComPtr<IConfig> other = section(m_config.get(), m_name + L"Other", true);
  ASSERT_EQ(other->SetInteger(m_key.get(), 3), S_OK);
  EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, std::wstring(kUserConfig) + L"\\" + m_name + L"Other"));
  EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, m_path + L"\\" + m_name + L"Other"));
  ASSERT_EQ(other->ClearConfig(), S_OK);
}

TEST_F(ConfigTest, NullResultPointersAreRefused) {
  VARIANT def;
  V_VT(&def) = VT_I4;
  V_I4(&def) = 1;
  EXPECT_EQ(m_config->GetValue(m_key.get(), nullptr), E_POINTER);
  EXPECT_EQ(m_config->GetValue2(m_key.get(), def, nullptr), E_POINTER);
  EXPECT_EQ(m_config->GetString(m_key.get(), nullptr, nullptr), E_POINTER);
  EXPECT_EQ(m_config->GetInteger(m_key.get(), 0, nullptr), E_POINTER);
  EXPECT_EQ(m_config->GetBoolean(m_key.get(), VARIANT_FALSE, nullptr), E_POINTER);
  EXPECT_EQ(m_config->CreateConfig(nullptr, VARIANT_TRUE, nullptr), E_POINTER);
  EXPECT_EQ(m_config->get_Name(nullptr), E_POINTER);
  EXPECT_EQ(m_config->get_user(nullptr), E_POINTER);
}

TEST_F(ConfigTest, MissingSectionReadsDefaultsAndIsNotCreatedByReaders) {
  Variant value;
  EXPECT_EQ(m_config->GetValue(m_key.get(), value.put()), S_OK);
  EXPECT_EQ(value.type(), VT_EMPTY);
  LONG number = 0;
  EXPECT_EQ(m_config->GetInteger(m_key.get(), 17, &number), S_OK);
  EXPECT_EQ(number, 17);
  Bstr textValue;
  EXPECT_EQ(m_config->GetString(m_key.get(), Bstr(L"d").get(), textValue.put()), S_OK);
  EXPECT_EQ(textValue, L"d");
  // Without a section even an empty default comes back as it is.
  VARIANT def;
  V_VT(&def) = VT_EMPTY;
  EXPECT_EQ(m_config->GetValue2(m_key.get(), def, value.put()), S_OK);
  EXPECT_EQ(value.type(), VT_EMPTY);
  EXPECT_EQ(m_config->ClearValue(m_key.get()), S_OK);
  EXPECT_EQ(m_config->Flush(VARIANT_TRUE), S_OK);
  EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, m_path));
}

TEST_F(ConfigTest, GetValueTypesByRegistryType) {
  const std::wstring longest(CConfig::kMaxTextLength, L'x');
  struct Case {
    const char* what;
    std::optional<Raw> raw;
    VARTYPE type;
    ULONGLONG number;
    std::wstring text;
  };
  const Case cases[] = {
      {"absent", std::nullopt, VT_EMPTY, 0, L""},
      {"dword", dword(7), VT_UI4, 7, L""},
      {"dword high bit", dword(0xFFFFFFFFu), VT_UI4, 0xFFFFFFFFu, L""},
      {"qword", qword(0x123456789ull), VT_UI8, 0x123456789ull, L""},
      {"text", text(L"Grüße"), VT_BSTR, 0, L"Grüße"},
      {"empty text", text(L""), VT_BSTR, 0, L""},
      {"longest text", text(longest), VT_BSTR, 0, longest},
      {"text too long", text(longest + L"y"), VT_EMPTY, 0, L""},
      {"expandable text", text(L"%TEMP%", REG_EXPAND_SZ), VT_EMPTY, 0, L""},
      {"multi text", text(L"a", REG_MULTI_SZ), VT_EMPTY, 0, L""},
      {"binary", binary(), VT_EMPTY, 0, L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, m_path.c_str(), m_key.get());
    if (c.raw) put(m_key.get(), *c.raw);
    // A fresh object each time, so no cached key hides a change.
    ComPtr<IConfig> config = section(m_root.get(), m_name, true);
    Variant value;
    ASSERT_EQ(config->GetValue(m_key.get(), value.put()), S_OK);
    ASSERT_EQ(value.type(), c.type);
    if (c.type == VT_UI4) {
      EXPECT_EQ(V_UI4(&value), c.number);
    } else if (c.type == VT_UI8) {
      EXPECT_EQ(V_UI8(&value), c.number);
    } else if (c.type == VT_BSTR) {
      EXPECT_EQ(std::wstring(V_BSTR(&value), ::SysStringLen(V_BSTR(&value))), c.text);
    }
  }
}

TEST_F(ConfigTest, GetIntegerParsesWholeNumbersOnly) {
  constexpr LONG kDef = -7777;
  struct Case {
    const char* what;
    std::optional<Raw> raw;
    LONG expected;
  };
  const Case cases[] = {
      {"absent", std::nullopt, kDef},
      {"dword", dword(42), 42},
      {"dword read as signed", dword(0xFFFFFFFFu), -1},
      {"leading blank", text(L" 42"), 42},
      {"leading tab and sign", text(L"\t-42"), -42},
      {"plus sign", text(L"+5"), 5},
      {"trailing blank", text(L"42 "), kDef},
      {"empty text", text(L""), 0},
      {"blanks only", text(L"  "), kDef},
      {"sign only", text(L"-"), kDef},
      {"digits then letter", text(L"12a"), kDef},
      {"hexadecimal", text(L"0x10"), kDef},
      {"saturates high", text(L"99999999999"), LONG_MAX},
      {"saturates low", text(L"-99999999999"), LONG_MIN},
      {"lowest", text(L"-2147483648"), LONG_MIN},
      {"qword", qword(5), kDef},
      {"binary", binary(), kDef},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, m_path.c_str(), m_key.get());
    if (c.raw) put(m_key.get(), *c.raw);
    LONG value = 0;
    ASSERT_EQ(m_config->GetInteger(m_key.get(), kDef, &value), S_OK);
    EXPECT_EQ(value, c.expected);
  }
}

TEST_F(ConfigTest, GetBooleanReadsNumbersAndWords) {
  enum Expect { False, True, Default };
  struct Case {
    const char* what;
    std::optional<Raw> raw;
    Expect expected;
  };
  const Case cases[] = {
      {"absent", std::nullopt, Default},
      {"dword 0", dword(0), False},
      {"dword 5", dword(5), True},
      {"Yes", text(L"Yes"), True},
      {"y", text(L"y"), True},
      {"TRUE", text(L"TRUE"), True},
      {"t", text(L"t"), True},
      {"No", text(L"No"), False},
      {"N", text(L"N"), False},
      {"false", text(L"false"), False},
      {"F", text(L"F"), False},
      {"-1", text(L"-1"), True},
      {"0", text(L"0"), False},
      {" 0", text(L" 0"), False},
      {"empty text", text(L""), False},
      {"maybe", text(L"maybe"), Default},
      {"yes with blank", text(L"yes "), Default},
      {"qword", qword(1), Default},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, m_path.c_str(), m_key.get());
    if (c.raw) put(m_key.get(), *c.raw);
    // Both defaults, so a kept default cannot pass for a reading.
    for (VARIANT_BOOL def : {VARIANT_FALSE, VARIANT_TRUE}) {
      VARIANT_BOOL value = 1;
      ASSERT_EQ(m_config->GetBoolean(m_key.get(), def, &value), S_OK);
      const VARIANT_BOOL expected =
          c.expected == Default ? def : (c.expected == True ? VARIANT_TRUE : VARIANT_FALSE);
      EXPECT_EQ(value, expected) << "default " << def;
    }
  }
}

TEST_F(ConfigTest, GetStringGivesTextsAndSignedNumbers) {
  struct Case {
    const char* what;
    std::optional<Raw> raw;
    const wchar_t* def;
    const wchar_t* expected;  // null: a null string
  };
  const Case cases[] = {
      {"text", text(L"abc"), L"def", L"abc"},
      {"dword", dword(42), L"def", L"42"},
      {"dword all ones", dword(4294967295u), L"def", L"-1"},
      {"absent", std::nullopt, L"def", L"def"},
      {"absent, null default", std::nullopt, nullptr, nullptr},
      {"qword", qword(1), L"def", L"def"},
      {"binary", binary(), L"def", L"def"},
      {"expandable", text(L"x", REG_EXPAND_SZ), L"def", L"def"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, m_path.c_str(), m_key.get());
    if (c.raw) put(m_key.get(), *c.raw);
    Bstr value;
    ASSERT_EQ(m_config->GetString(m_key.get(), Bstr(c.def).get(), value.put()), S_OK);
    if (!c.expected) {
      EXPECT_TRUE(value.isNull());
    } else {
      EXPECT_EQ(value, c.expected);
    }
  }
}

TEST_F(ConfigTest, GetValue2ReadsInTheDefaultsType) {
  auto makeVariant = [](VARTYPE type, auto setter) {
    Variant v;
    V_VT(&v) = type;
    setter(v);
    return v;
  };
  struct Case {
    const char* what;
    std::optional<Raw> raw;
    Variant def;
    Variant expected;
  };
  const Case cases[] = {
      {"I4 from dword", dword(7), Variant(1L), Variant(7L)},
      {"I4 from numeric text", text(L" 12"), Variant(1L), Variant(12L)},
      {"I4 absent", std::nullopt, Variant(5L), Variant(5L)},
      {"I2 from text", text(L"12"), makeVariant(VT_I2, [](Variant& v) { V_I2(&v) = 3; }),
       makeVariant(VT_I2, [](Variant& v) { V_I2(&v) = 12; })},
      {"UI1 overflow keeps default", dword(300),
       makeVariant(VT_UI1, [](Variant& v) { V_UI1(&v) = 9; }),
       makeVariant(VT_UI1, [](Variant& v) { V_UI1(&v) = 9; })},
      {"UI4 from dword", dword(7), Variant(3UL), Variant(7UL)},
      {"BSTR from dword", dword(0xFFFFFFFFu), Variant(L"d"), Variant(L"-1")},
      {"BSTR absent", std::nullopt, Variant(L"d"), Variant(L"d")},
      {"BOOL from word", text(L"yes"), Variant(false), Variant(true)},
      {"BOOL unreadable word", text(L"perhaps"), Variant(true), Variant(true)},
      {"EMPTY from text", text(L"a"), Variant(), Variant(L"a")},
      {"EMPTY absent", std::nullopt, Variant(), Variant(static_cast<const wchar_t*>(nullptr))},
      {"R8 from text", text(L"x"), Variant(2.5), Variant(L"x")},
      {"R8 absent gives its text", std::nullopt, Variant(2.5), Variant(L"2.5")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, m_path.c_str(), m_key.get());
    put(L"other", dword(0));  // the section exists
    if (c.raw) put(m_key.get(), *c.raw);
    Variant value;
    ASSERT_EQ(m_config->GetValue2(m_key.get(), c.def, value.put()), S_OK);
    ASSERT_EQ(value.type(), c.expected.type());
    if (value.type() == VT_BSTR) {
      EXPECT_EQ(V_BSTR(&value) == nullptr, V_BSTR(&c.expected) == nullptr);
    }
    Bstr got, expected;
    ASSERT_EQ(value.asString(got), S_OK);
    ASSERT_EQ(c.expected.asString(expected), S_OK);
    EXPECT_EQ(got, expected);
  }

  // A default given by reference (a script variable) counts as its value.
  put(m_key.get(), dword(8));
  LONG number = 1;
  VARIANT byRef;
  V_VT(&byRef) = VT_I4 | VT_BYREF;
  V_I4REF(&byRef) = &number;
  Variant value;
  ASSERT_EQ(m_config->GetValue2(m_key.get(), byRef, value.put()), S_OK);
  ASSERT_EQ(value.type(), VT_I4);
  EXPECT_EQ(V_I4(&value), 8);
}

TEST_F(ConfigTest, SetValueKeepsTheStoredTypeOrFollowsTheValue) {
  auto makeVariant = [](VARTYPE type, auto setter) {
    Variant v;
    V_VT(&v) = type;
    setter(v);
    return v;
  };
  Variant null;
  V_VT(&null) = VT_NULL;
  struct Case {
    const char* what;
    std::optional<Raw> before;
    Variant value;
    std::optional<Raw> after;
  };
  const Case cases[] = {
      {"numeric text onto a dword", dword(5), Variant(L"12"), dword(12)},
      {"word onto a dword keeps it", dword(5), Variant(L"abc"), dword(5)},
      {"negative onto a dword keeps it", dword(5), Variant(-1L), dword(5)},
      {"number onto text writes its text", text(L"x"), Variant(-1L), text(L"-1")},
      {"null onto text keeps it", text(L"x"), null, text(L"x")},
      {"negative onto nothing writes nothing", std::nullopt, Variant(-1L), std::nullopt},
      {"number onto nothing", std::nullopt, Variant(7L), dword(7)},
      {"byte onto nothing", std::nullopt, makeVariant(VT_UI1, [](Variant& v) { V_UI1(&v) = 200; }),
       dword(200)},
      {"too large onto nothing", std::nullopt, Variant(static_cast<LONGLONG>(1) << 40),
       std::nullopt},
      {"largest onto nothing", std::nullopt, Variant(static_cast<LONGLONG>(MAXDWORD)),
       dword(MAXDWORD)},
      {"numeric text onto a dword, too large", dword(5), Variant(L"4294967296"), dword(5)},
      {"negative text onto a dword keeps it", dword(5), Variant(L"-3"), dword(5)},
      {"text onto nothing", std::nullopt, Variant(L"7"), text(L"7")},
      {"null text onto nothing", std::nullopt, Variant(static_cast<const wchar_t*>(nullptr)),
       text(L"")},
      {"boolean onto nothing", std::nullopt, Variant(true), text(L"-1")},
      {"double onto nothing", std::nullopt, Variant(1.5), text(L"1.5")},
      {"number onto binary", binary(), Variant(7L), dword(7)},
      {"text onto qword", qword(9), Variant(L"t"), text(L"t")},
      {"text onto expandable", text(L"%TEMP%", REG_EXPAND_SZ), Variant(L"t"), text(L"t")},
      // A value that cannot be stored leaves what was there.
      {"negative onto binary keeps it", binary(), Variant(-1L), binary()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, m_path.c_str(), m_key.get());
    if (c.before) put(m_key.get(), *c.before);
    ASSERT_EQ(m_config->SetValue(m_key.get(), c.value), S_OK);
    const std::optional<Raw> after = stored(m_key.get());
    ASSERT_EQ(after.has_value(), c.after.has_value());
    if (after) {
      EXPECT_TRUE(*after == *c.after) << "type " << after->type;
    }
  }

  // A value given by reference is stored as its value.
  ::RegDeleteKeyValueW(HKEY_CURRENT_USER, m_path.c_str(), m_key.get());
  LONG number = 9;
  VARIANT byRef;
  V_VT(&byRef) = VT_I4 | VT_BYREF;
  V_I4REF(&byRef) = &number;
  ASSERT_EQ(m_config->SetValue(m_key.get(), byRef), S_OK);
  EXPECT_EQ(stored(m_key.get()), std::optional<Raw>(dword(9)));
}

TEST_F(ConfigTest, TypedSettersReplaceAnyType) {
  put(m_key.get(), dword(5));
  ASSERT_EQ(m_config->SetString(m_key.get(), nullptr), S_OK);
  EXPECT_EQ(stored(m_key.get()), std::optional<Raw>(text(L"")));
  ASSERT_EQ(m_config->SetInteger(m_key.get(), -1), S_OK);
  EXPECT_EQ(stored(m_key.get()), std::optional<Raw>(dword(0xFFFFFFFFu)));
  ASSERT_EQ(m_config->SetString(m_key.get(), Bstr(L"Grüße").get()), S_OK);
  EXPECT_EQ(stored(m_key.get()), std::optional<Raw>(text(L"Grüße")));
  ASSERT_EQ(m_config->SetBoolean(m_key.get(), VARIANT_TRUE), S_OK);
  EXPECT_EQ(stored(m_key.get()), std::optional<Raw>(dword(1)));
  ASSERT_EQ(m_config->SetBoolean(m_key.get(), VARIANT_FALSE), S_OK);
  EXPECT_EQ(stored(m_key.get()), std::optional<Raw>(dword(0)));

  ASSERT_EQ(m_config->ClearValue(m_key.get()), S_OK);
  EXPECT_FALSE(stored(m_key.get()).has_value());
  EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, m_path));
}

TEST_F(ConfigTest, TwoObjectsForOneSectionSeeEachOthersWrites) {
  ComPtr<IConfig> other = section(m_root.get(), m_name, true);
  LONG number = 0;
  // Both read first, so each has its own key cached.
  ASSERT_EQ(m_config->GetInteger(m_key.get(), 0, &number), S_OK);
  ASSERT_EQ(m_config->SetInteger(m_key.get(), 1), S_OK);
  ASSERT_EQ(other->GetInteger(m_key.get(), 0, &number), S_OK);
  EXPECT_EQ(number, 1);
  ASSERT_EQ(other->SetString(m_key.get(), Bstr(L"2").get()), S_OK);
  ASSERT_EQ(m_config->GetInteger(m_key.get(), 0, &number), S_OK);
  EXPECT_EQ(number, 2);
}

TEST_F(ConfigTest, ClearConfigRemovesTheSectionAndLeavesSiblings) {
  const std::wstring siblingName = m_name + L"Sibling";
  const std::wstring siblingPath = std::wstring(kUserConfig) + L"\\" + siblingName;
  ComPtr<IConfig> sibling = section(m_root.get(), siblingName, true);
  // A name with a backslash reaches a deeper key.
  ComPtr<IConfig> nested = section(m_root.get(), m_name + L"\\Inner", true);
  ASSERT_EQ(sibling->SetInteger(m_key.get(), 1), S_OK);
  ASSERT_EQ(nested->SetInteger(m_key.get(), 2), S_OK);
  ASSERT_EQ(m_config->SetInteger(m_key.get(), 3), S_OK);
  EXPECT_EQ(readRaw(HKEY_CURRENT_USER, m_path + L"\\Inner", m_key.get()),
            std::optional<Raw>(dword(2)));

  ASSERT_EQ(m_config->ClearConfig(), S_OK);
  EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, m_path));
  EXPECT_EQ(readRaw(HKEY_CURRENT_USER, siblingPath, m_key.get()), std::optional<Raw>(dword(1)));

  // The object lets go of the deleted key: its next write makes the
  // section again.
  ASSERT_EQ(m_config->SetInteger(m_key.get(), 4), S_OK);
  EXPECT_EQ(stored(m_key.get()), std::optional<Raw>(dword(4)));

  ASSERT_EQ(sibling->ClearConfig(), S_OK);
  EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, siblingPath));
}

TEST_F(ConfigTest, FlushWithoutHeavyReopensAfterAnotherObjectClearedTheSection) {
  ComPtr<IConfig> other = section(m_root.get(), m_name, true);
  ASSERT_EQ(m_config->SetInteger(m_key.get(), 1), S_OK);
  ASSERT_EQ(other->ClearConfig(), S_OK);
  ASSERT_FALSE(keyExists(HKEY_CURRENT_USER, m_path));
  // Whatever a write through the stale key does, the system does not keep
  // it in a section that readers can find; once the key is dropped, writes
  // land again.
  ASSERT_EQ(m_config->Flush(VARIANT_FALSE), S_OK);
  ASSERT_EQ(m_config->SetInteger(m_key.get(), 2), S_OK);
  EXPECT_EQ(stored(m_key.get()), std::optional<Raw>(dword(2)));
  EXPECT_EQ(m_config->Flush(VARIANT_TRUE), S_OK);
  EXPECT_EQ(stored(m_key.get()), std::optional<Raw>(dword(2)));
}

// Wine lets a test write the machine's hive, so the machine level is
// exercised for real; the test's own section and value are removed again.
TEST(ConfigMachineTest, RootAndMachineSectionsShareTheMachineTree) {
  ComApartment com;
  ASSERT_TRUE(com.ok());
  CreatedKeys machineKeys(HKEY_LOCAL_MACHINE, kMachineConfig);
  CreatedKeys userKeys(HKEY_CURRENT_USER, kUserConfig);
  const std::wstring name = uniqueName(L"Machine");
  const std::wstring path = std::wstring(kMachineConfig) + L"\\" + name;
  const Bstr rootValue(name);

  ComPtr<IConfig> root = newRoot();
  ComPtr<IConfig> machine = section(root.get(), name, false);
  ASSERT_EQ(machine->SetString(Bstr(L"Language").get(), Bstr(L"ZH_TW").get()), S_OK);
  EXPECT_EQ(readRaw(HKEY_LOCAL_MACHINE, path, L"Language"), std::optional<Raw>(text(L"ZH_TW")));
  // The user level has a tree of its own.
  EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, std::wstring(kUserConfig) + L"\\" + name));

  ComPtr<IConfig> again = section(root.get(), name, false);
  Bstr language;
  ASSERT_EQ(again->GetString(Bstr(L"Language").get(), nullptr, language.put()), S_OK);
  EXPECT_EQ(language, L"ZH_TW");

  // The root object's values are those of the configuration key itself.
  ASSERT_EQ(root->SetInteger(rootValue.get(), 11), S_OK);
  EXPECT_EQ(readRaw(HKEY_LOCAL_MACHINE, kMachineConfig, rootValue.get()),
            std::optional<Raw>(dword(11)));
  ASSERT_EQ(root->ClearValue(rootValue.get()), S_OK);
  EXPECT_FALSE(readRaw(HKEY_LOCAL_MACHINE, kMachineConfig, rootValue.get()).has_value());

  ASSERT_EQ(machine->ClearConfig(), S_OK);
  EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, path));
  EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, kMachineConfig));
}

// Pages call the service late-bound, through the program's type library.
TEST_F(ConfigTest, DispatchCallsReachTheMembers) {
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(m_config.As(IID_IDispatch, dispatch), S_OK);
  ASSERT_EQ(DispatchCall::invokeByName(dispatch.get(), L"SetInteger", DISPATCH_METHOD,
                                       {Variant(L"n"), Variant(41L)}),
            S_OK);
  Variant result;
  ASSERT_EQ(DispatchCall::invokeByName(dispatch.get(), L"GetValue2", DISPATCH_METHOD,
                                       {Variant(L"n"), Variant(L"")}, result.put()),
            S_OK);
  ASSERT_EQ(result.type(), VT_BSTR);
  EXPECT_STREQ(V_BSTR(&result), L"41");
  DISPID id = 0;
  ASSERT_EQ(DispatchCall::idOfName(dispatch.get(), L"GetBoolean", id), S_OK);
  EXPECT_EQ(id, 1026);
  ASSERT_EQ(DispatchCall::idOfName(dispatch.get(), L"PluginName", id), S_OK);
  EXPECT_EQ(id, 1);
}

TEST(ConfigComTest, ScriptSafeAndAggregatable) {
  ComApartment com;
  ASSERT_TRUE(com.ok());
  ComPtr<IConfig> config = newRoot();
  ComPtr<IObjectSafety> safety;
  ASSERT_EQ(config.As(IID_IObjectSafety, safety), S_OK);
  DWORD supported = 0, enabled = 0;
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IConfig, &supported, &enabled), S_OK);
  EXPECT_EQ(supported, ObjectSafetyImpl::kSupported);
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IFrameworkPlugin, &supported, &enabled), S_OK);
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IObjectSafety, &supported, &enabled),
            E_NOINTERFACE);

  // An outer object that hands out the inner object's interfaces as its own.
  class Outer : public IUnknown {
  public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override {
      if (iid == IID_IUnknown) {
        *out = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
      }
      return inner->QueryInterface(iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() noexcept override { return --refs; }
    ULONG refs = 1;
    ComPtr<IUnknown> inner;
  } outer;
  void* refused = nullptr;
  EXPECT_EQ(ComCreator<CConfig>::createInstance(&outer, IID_IConfig, &refused),
            CLASS_E_NOAGGREGATION);
  ASSERT_EQ(ComCreator<CConfig>::createInstance(&outer, IID_IUnknown, outer.inner.putVoid()), S_OK);
  ComPtr<IConfig> aggregated;
  ASSERT_EQ(outer.QueryInterface(IID_IConfig, aggregated.putVoid()), S_OK);
  ComPtr<IUnknown> identity;
  ASSERT_EQ(aggregated.As(IID_IUnknown, identity), S_OK);
  EXPECT_EQ(identity.get(), static_cast<IUnknown*>(&outer));
  Bstr name;
  EXPECT_EQ(aggregated->get_PluginName(name.put()), S_OK);
  EXPECT_EQ(name, L"Config,1.0");
  identity.reset();
  aggregated.reset();
  EXPECT_EQ(outer.refs, 1u);
  outer.inner.reset();
}

}  // namespace
