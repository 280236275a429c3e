#include "EnvironmentOverride.h"
#include "LogBuffer.h"
#include "LogCapture.h"
#include "LogLines.h"
#include "Logger.h"
#include "LoggerManager.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

class LogFormatTest : public ::testing::Test {
protected:
  // The message of the one record that `call` logs.
  std::string messageOf(const std::function<void(Logger*)>& call) {
    LogCapture capture;
    call(LoggerManager::get("format.test"));
    const auto records = capture.records("format.test");
    if (records.size() != 1) {
      ADD_FAILURE() << records.size() << " records";
      return {};
    }
    return records[0].message;
  }

  EnvironmentOverride m_level{L"MIRDEX_LOG_LEVEL", L"1"};
};

TEST_F(LogFormatTest, ConversionsGiveTheTextOfTheArguments) {
  // Not constants, so the compiler cannot see they are null.
  const char* volatile noText = nullptr;
  const wchar_t* volatile noWideText = nullptr;
  // A format not known when compiling, for what the compiler would refuse.
  const char* volatile runtimeFormat = nullptr;
  int written = -1;
  const std::wstring accented = L"caf\u00e9 \u20ac \u4e2d end";

  const struct {
    const char* name;
    std::function<void(Logger*)> call;
    std::string expected;
  } cases[] = {
      {"percent in an argument", [](Logger* l) { l->info("%s", "100% done, 50%d"); }, "100% done, 50%d"},
      {"percent in the format", [](Logger* l) { l->info("100%% done"); }, "100% done"},
      {"narrow and wide strings", [](Logger* l) { l->info("%s|%S|%ls", "narrow", L"wide", L"ls"); },
       "narrow|wide|ls"},
      {"wide text in the ANSI code page",
       [&](Logger* l) { l->info("[%S]", accented.c_str()); }, "[" + wideToNarrow(accented) + "]"},
      {"int conversions", [](Logger* l) { l->info("%d|%i|%u|%X|%x|%o", -5, 7, 4000000000u, 0xABCu, 0xabcu, 8u); },
       "-5|7|4000000000|ABC|abc|10"},
      {"long long", [](Logger* l) { l->info("%lld|%llX|%llu", -1234567890123LL, 0xABCDEF0123ULL, ~0ULL); },
       "-1234567890123|ABCDEF0123|18446744073709551615"},
      {"DWORD and HRESULT", [](Logger* l) { l->info("%lu|%lX|%ld", DWORD{0xFFFFFFFF}, E_FAIL, E_FAIL); },
       "4294967295|80004005|-2147467259"},
      {"short and char", [](Logger* l) { l->info("%hd|%hu|%hhu", 70000, 70000, 300); }, "4464|4464|44"},
      {"size and pointer", [](Logger* l) { l->info("%zu|%p", std::size_t{123}, reinterpret_cast<void*>(0x1234)); },
       "123|0000000000001234"},
      {"width, precision and flags",
       [](Logger* l) {
         l->info("[%5d|%-5d|%05d|%+d|%.3s|%8.3f|%*d|%-*d|%.*s]", 42, 42, 42, 42, "abcdef", 3.14159, 4, 7, 3, 7, 2,
                 "xyz");
       },
       "[   42|42   |00042|+42|abc|   3.142|   7|7  |xy]"},
      {"wide width and precision", [](Logger* l) { l->info("[%6S|%-6S|%.2S]", L"ab", L"ab", L"abc"); },
       "[    ab|ab    |ab]"},
      {"characters", [](Logger* l) { l->info("%c|%lc|%C", 'n', static_cast<wint_t>(L'w'), static_cast<wint_t>(L'W')); },
       "n|w|W"},
      {"floating point", [](Logger* l) { l->info("%.2f|%e|%g|%Lf", 2.5, 1.0, 0.5, 1.5L); },
       "2.50|1.000000e+00|0.5|1.500000"},
      {"null strings", [&](Logger* l) { l->info("%s|%S", noText, noWideText); }, "(null)|(null)"},
      {"%n writes nothing", [&](Logger* l) { l->info("ab%n|cd", &written); }, "ab|cd"},
      {"unknown conversion kept",
       [&](Logger* l) {
         runtimeFormat = "%y|%";
         l->info(runtimeFormat, 0);
       },
       "%y|%"},
  };
  for (const auto& c : cases) EXPECT_EQ(messageOf(c.call), c.expected) << c.name;
  EXPECT_EQ(written, -1) << "%n must not write through its argument";
}

// A long message is written whole; one beyond the line limit is cut, and the
// line says so.
TEST_F(LogFormatTest, LongMessagesAreWholeAndOverlongOnesMarked) {
  const std::string longText = std::string(20000, 'a') + "end";
  EXPECT_EQ(messageOf([&](Logger* l) { l->info("%s", longText.c_str()); }), longText);

  const std::wstring longWide = std::wstring(20000, L'w') + L"end";
  EXPECT_EQ(messageOf([&](Logger* l) { l->info("%S", longWide.c_str()); }), wideToNarrow(longWide));

  const std::string overlong = uniqueTag("overlong") + std::string(200000, 'o');
  LogCapture capture;
  LoggerManager::get("format.test")->info("%s", overlong.c_str());
  const auto records = capture.records("format.test");
  ASSERT_EQ(records.size(), 1u);
  const std::string& line = records[0].line;
  EXPECT_LE(line.size() + 2, LogBuffer::kMaxSize);
  EXPECT_GT(line.size(), LogBuffer::kMaxSize / 2);
  ASSERT_GE(line.size(), LogBuffer::kTruncatedMark.size());
  EXPECT_EQ(line.substr(line.size() - LogBuffer::kTruncatedMark.size()), LogBuffer::kTruncatedMark);
  EXPECT_EQ(overlong.compare(0, records[0].message.size(), records[0].message), 0);

  const LogLines file = LogLines::readRotated(LoggerManager::logFilePath(), LoggerManager::kKeepFiles);
  EXPECT_EQ(file.containing(overlong.substr(0, 30)), std::vector<std::string>{line});
}

}  // namespace
