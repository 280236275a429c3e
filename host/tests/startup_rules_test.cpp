// The start-up's rules that need no second process: the command-line
// readings, the language a configured text selects and the main window's
// first rectangle.
#include "CommandLine.h"
#include "InitialWindowRect.h"
#include "LanguageSelection.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Kind = CommandLine::SwitchKind;
using Switch = CommandLine::Switch;
using Word = CommandLine::RegistrationWord;

struct SwitchCase {
  const wchar_t* line;
  std::vector<Switch> expected;
};

TEST(CommandLineTest, FirstPassReadsSwitchesInOrder) {
  const SwitchCase cases[] = {
      {L"Mirdex.exe", {}},
      {L"Mirdex.exe quit", {{Kind::Quit, L""}}},
      // One optional prefix, any case.
      {L"Mirdex.exe /launch mirdex:a -LAUNCH mirdex:b Launch mirdex:c",
       {{Kind::Launch, L"mirdex:a"}, {Kind::Launch, L"mirdex:b"}, {Kind::Launch, L"mirdex:c"}}},
      {L"Mirdex.exe -hide /NoSplash", {{Kind::Hide, L""}, {Kind::NoSplash, L""}}},
      // Two prefixes are not a switch.
      {L"Mirdex.exe --quit //hide", {}},
      // The argument is consumed, even when it looks like a switch.
      {L"Mirdex.exe launch quit hide", {{Kind::Launch, L"quit"}, {Kind::Hide, L""}}},
      {L"Mirdex.exe wait 42 quit", {{Kind::Wait, L"42"}, {Kind::Quit, L""}}},
      // Standing last, a switch that needs an argument does nothing.
      {L"Mirdex.exe hide launch", {{Kind::Hide, L""}}},
      {L"Mirdex.exe wait", {}},
      // Other words are ignored; the program path is never a switch.
      {L"quit.exe -Embedding content file.mirdex /RegServer", {}},
      // Quoted arguments are split as the system splits them.
      {L"\"C:\\Program Files\\Mirdex.exe\" launch \"mirdex://open/chat?id=4 2\"",
       {{Kind::Launch, L"mirdex://open/chat?id=4 2"}}},
      {L"Mirdex.exe quit quit", {{Kind::Quit, L""}, {Kind::Quit, L""}}},
  };
  for (const SwitchCase& c : cases) {
    EXPECT_EQ(CommandLine::switches(c.line), c.expected) << testing::PrintToString(std::wstring(c.line));
  }
}

TEST(CommandLineTest, SecondPassFindsRegistrationWordsAnywhere) {
  const struct {
    const wchar_t* line;
    Word expected;
  } cases[] = {
      {L"Mirdex.exe", Word::None},
      {L"Mirdex.exe /RegServer", Word::RegServer},
      {L"Mirdex.exe -regserver", Word::RegServer},
      {L"Mirdex.exe hide /UNREGSERVER", Word::UnregServer},
      {L"Mirdex.exe -RegServerPerUser", Word::RegServerPerUser},
      {L"Mirdex.exe\t/UnregServerPerUser\t", Word::UnregServerPerUser},
      // Inside another argument, as long as a prefix introduces it.
      {L"Mirdex.exe launch x-RegServer", Word::RegServer},
      // The word must end at a blank, a tab or the end of the line.
      {L"Mirdex.exe /RegServerX /Reg", Word::None},
      {L"Mirdex.exe \"/RegServer\"", Word::None},
      // Without a prefix it is an ordinary word.
      {L"Mirdex.exe RegServer", Word::None},
      // The first word found decides.
      {L"Mirdex.exe /UnregServer /RegServer", Word::UnregServer},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CommandLine::registrationWord(c.line), c.expected)
        << testing::PrintToString(std::wstring(c.line));
  }
}

TEST(CommandLineTest, WaitArgumentIsAnUnsignedDecimalNumber) {
  EXPECT_EQ(CommandLine::waitProcessId(L"4242"), 4242u);
  EXPECT_EQ(CommandLine::waitProcessId(L"0"), 0u);
  EXPECT_EQ(CommandLine::waitProcessId(L"abc"), 0u);
  EXPECT_EQ(CommandLine::waitProcessId(L""), 0u);
  EXPECT_EQ(CommandLine::waitProcessId(L"12x"), 12u);
}

TEST(LanguageSelectionTest, TextSelectsLanguageId) {
  const struct {
    const wchar_t* text;
    LANGID expected;
  } cases[] = {
      {L"EN", 0x409},
      {L"ZH_CN", 0x804},
      {L"ZH_TW", 0x404},
      // Names are compared with case: in lower case the text is read as a
      // number and fails.
      {L"zh_tw", 0},
      {L"en", 0},
      {L"2052", 0x804},
      {L"  1028", 0x404},
      {L"1033 x", 0x409},
      {L"12x", 0},
      {L"0", 0},
      // Only the low 16 bits count, and they must not be 0.
      {L"65536", 0},
      {L"66569", 0x409},
      {L"", 0},
      {L" ", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LanguageSelection::languageId(c.text), c.expected)
        << testing::PrintToString(std::wstring(c.text));
  }
}

// A key of its own under HKEY_CURRENT_USER stands for the configuration key.
class LanguageTextTest : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                key.put(), nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    key.reset();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kPath);
  }
  void setRaw(DWORD type, const void* data, DWORD bytes) {
    ASSERT_EQ(::RegSetValueExW(key.get(), L"Language", 0, type, static_cast<const BYTE*>(data), bytes),
              ERROR_SUCCESS);
  }
  void setText(DWORD type, const std::wstring& text) {
    setRaw(type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }

  static constexpr const wchar_t* kPath = L"Software\\MirdexTests\\LanguageText";
  RegKey key;
};

TEST_F(LanguageTextTest, ReadsShortStringValues) {
  EXPECT_EQ(LanguageSelection::readText(key.get()), L"");  // missing
  setText(REG_SZ, L"ZH_TW");
  EXPECT_EQ(LanguageSelection::readText(key.get()), L"ZH_TW");
  setText(REG_EXPAND_SZ, L"2052");
  EXPECT_EQ(LanguageSelection::readText(key.get()), L"2052");
  setText(REG_SZ, L"12345678");
  EXPECT_EQ(LanguageSelection::readText(key.get()), L"12345678");
  // Stored without its terminator.
  setRaw(REG_SZ, L"EN", 2 * sizeof(wchar_t));
  EXPECT_EQ(LanguageSelection::readText(key.get()), L"EN");
}

TEST_F(LanguageTextTest, RejectsLongOrNonStringValues) {
  setText(REG_SZ, L"123456789");
  EXPECT_EQ(LanguageSelection::readText(key.get()), L"");
  setRaw(REG_SZ, L"123456789", 9 * sizeof(wchar_t));
  EXPECT_EQ(LanguageSelection::readText(key.get()), L"");
  setText(REG_SZ, L"a much longer language text");
  EXPECT_EQ(LanguageSelection::readText(key.get()), L"");
  const DWORD number = 0x804;
  setRaw(REG_DWORD, &number, sizeof(number));
  EXPECT_EQ(LanguageSelection::readText(key.get()), L"");
  setRaw(REG_MULTI_SZ, L"EN\0\0", 4 * sizeof(wchar_t));
  EXPECT_EQ(LanguageSelection::readText(key.get()), L"");
}

TEST(InitialWindowRectTest, CentresAboutThreeHundredByFiveHundred) {
  const struct {
    RECT desktop;
    RECT expected;
  } cases[] = {
      {{0, 0, 1280, 1024}, {490, 262, 790, 762}},
      {{0, 0, 1920, 1080}, {810, 290, 1110, 790}},
      // Odd margins: each half is truncated, so the rectangle grows by one.
      {{0, 0, 1281, 1025}, {490, 262, 791, 763}},
      // A desktop that does not start at the origin.
      {{-1280, -200, 0, 824}, {-790, 62, -490, 562}},
      // Smaller than the window: negative insets, truncated towards zero.
      {{0, 0, 201, 399}, {-49, -50, 250, 449}},
  };
  for (const auto& c : cases) {
    const RECT r = InitialWindowRect::centredOn(c.desktop);
    EXPECT_EQ(r.left, c.expected.left);
    EXPECT_EQ(r.top, c.expected.top);
    EXPECT_EQ(r.right, c.expected.right);
    EXPECT_EQ(r.bottom, c.expected.bottom);
  }
}

TEST(InitialWindowRectTest, FollowsTheDesktopWindow) {
  RECT desktop{};
  ASSERT_TRUE(::GetWindowRect(::GetDesktopWindow(), &desktop));
  const RECT r = InitialWindowRect::forDesktop();
  const RECT expected = InitialWindowRect::centredOn(desktop);
  EXPECT_TRUE(::EqualRect(&r, &expected));
}

}  // namespace
