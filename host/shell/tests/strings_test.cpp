// String tables read for an explicit language, as the windows and the
// start-up code load them.
#include "ComModule.h"
#include "ResourceStrings.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

struct StringCase {
  LANGID language;
  UINT id;
  const wchar_t* text;
};

class ResourceStringsTest : public ::testing::TestWithParam<StringCase> {};

TEST_P(ResourceStringsTest, EachLanguageGetsItsOwnTable) {
  const StringCase& c = GetParam();
  EXPECT_EQ(ResourceStrings::load(ComModule::moduleHandle(), c.id, c.language), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, ResourceStringsTest,
    ::testing::Values(
        StringCase{0x409, IDS_LOADING_URL, L"about:loading..."},
        StringCase{0x804, IDS_LOADING_URL, L"about:\u6B63\u5728\u88C5\u8F7D\u00B7\u00B7\u00B7"},
        StringCase{0x404, IDS_LOADING_URL, L"about:\u6B63\u5728\u88DD\u8F09\u00B7\u00B7\u00B7"},
        StringCase{0x409, IDS_PROJNAME, L"FrameWork"},
        StringCase{0x804, IDS_FAIL_WINDOW, L"ERROR: Fail to create window!"},
        StringCase{0x804, IDS_TRAY_ONLINE, L"Mirdex - \u5728\u7EBF"},
        StringCase{0x409, IDS_TRAY_OFFLINE, L"Mirdex - Offline"}));

TEST(ResourceStrings, ALanguageWithoutATableStillGetsAText) {
  EXPECT_FALSE(ResourceStrings::load(ComModule::moduleHandle(), IDS_FAIL_WINDOW, 0x407).empty());
}

TEST(ResourceStrings, AMissingStringIsEmpty) {
  EXPECT_EQ(ResourceStrings::load(ComModule::moduleHandle(), 4242, 0x409), L"");
  // Same block as the real strings, an empty slot.
  EXPECT_EQ(ResourceStrings::load(ComModule::moduleHandle(), 110, 0x409), L"");
  // A null module is the program's own.
  EXPECT_EQ(ResourceStrings::load(nullptr, IDS_FAIL_WINDOW, 0x409),
            L"ERROR: Fail to create window!");
}

TEST(ResourceStrings, TheThreadsLanguageIsTheOneRecordedForIt) {
  ResourceStrings::setThreadLanguage(0x804);
  EXPECT_EQ(ResourceStrings::threadLanguage(), 0x804);
  EXPECT_EQ(ResourceStrings::load(ComModule::moduleHandle(), IDS_LOADING_URL),
            L"about:\u6B63\u5728\u88C5\u8F7D\u00B7\u00B7\u00B7");
  LANGID other = 0;
  std::thread([&] { other = ResourceStrings::threadLanguage(); }).join();
  EXPECT_EQ(other, ::GetThreadUILanguage());
  ResourceStrings::setThreadLanguage(0);
  EXPECT_EQ(ResourceStrings::threadLanguage(), ::GetThreadUILanguage());
}

}  // namespace
