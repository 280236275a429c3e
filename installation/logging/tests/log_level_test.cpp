#include "EnvironmentOverride.h"
#include "LogCapture.h"
#include "Logger.h"
#include "LoggerManager.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

constexpr const wchar_t* kLogKey = L"Software\\Mirdex\\Log";

// The registry value "Level" as the user had it, put back after the test.
class LevelConfigTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kLogKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                                nullptr, m_key.put(), nullptr),
              ERROR_SUCCESS);
    DWORD size = 0;
    if (::RegQueryValueExW(m_key.get(), L"Level", nullptr, &m_savedType, nullptr, &size) == ERROR_SUCCESS) {
      m_saved.emplace(size);
      ::RegQueryValueExW(m_key.get(), L"Level", nullptr, &m_savedType, m_saved->data(), &size);
    }
  }

  void TearDown() override {
    if (m_saved) {
      ::RegSetValueExW(m_key.get(), L"Level", 0, m_savedType, m_saved->data(), static_cast<DWORD>(m_saved->size()));
    } else {
      ::RegDeleteValueW(m_key.get(), L"Level");
    }
    LoggerManager::reloadConfiguration();
  }

  void setRegistryDword(DWORD value) {
    ::RegSetValueExW(m_key.get(), L"Level", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  }
  void setRegistryText(const wchar_t* text) {
    ::RegSetValueExW(m_key.get(), L"Level", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                     static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
  }
  void clearRegistry() { ::RegDeleteValueW(m_key.get(), L"Level"); }

  RegKey m_key;
  DWORD m_savedType = 0;
  std::optional<std::vector<BYTE>> m_saved;
};

enum class Registry { None, Dword, Text };

TEST_F(LevelConfigTest, ThresholdFromRegistryWithEnvironmentOverride) {
  const struct {
    const char* name;
    Registry registry;
    DWORD dword;
    const wchar_t* text;
    const wchar_t* environment;  // null: not set
    int threshold;
  } cases[] = {
      {"nothing configured", Registry::None, 0, nullptr, nullptr, 2},
      {"registry debug", Registry::Dword, 1, nullptr, nullptr, 1},
      {"registry warn", Registry::Dword, 3, nullptr, nullptr, 3},
      {"registry error", Registry::Dword, 4, nullptr, nullptr, 4},
      {"registry zero is no level", Registry::Dword, 0, nullptr, nullptr, 2},
      {"registry above error is no level", Registry::Dword, 9, nullptr, nullptr, 2},
      {"registry text is not a DWORD", Registry::Text, 0, L"1", nullptr, 2},
      {"environment number over registry", Registry::Dword, 4, nullptr, L"1", 1},
      {"environment name over registry", Registry::Dword, 1, nullptr, L"Error", 4},
      {"environment name with blanks", Registry::None, 0, nullptr, L" warning ", 3},
      {"environment out of range leaves registry", Registry::Dword, 3, nullptr, L"7", 3},
      {"environment zero leaves registry", Registry::Dword, 3, nullptr, L"0", 3},
      {"environment negative leaves registry", Registry::Dword, 4, nullptr, L"-1", 4},
      {"environment word leaves registry", Registry::Dword, 3, nullptr, L"loud", 3},
      {"environment garbage leaves default", Registry::None, 0, nullptr, L"2x", 2},
  };

  Logger* logger = LoggerManager::get("level.config");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    switch (c.registry) {
      case Registry::None: clearRegistry(); break;
      case Registry::Dword: setRegistryDword(c.dword); break;
      case Registry::Text: setRegistryText(c.text); break;
    }
    EnvironmentOverride environment(L"MIRDEX_LOG_LEVEL", c.environment);
    EXPECT_EQ(LoggerManager::threshold(), c.threshold);

    LogCapture capture;
    std::vector<int> expected;
    for (int level = Logger::kDebug; level <= Logger::kError; ++level) {
      EXPECT_EQ(logger->enabled(level), level >= c.threshold) << "level " << level;
      if (level >= c.threshold) expected.push_back(level);
      logger->log(level, "at %d", level);
    }
    std::vector<int> logged;
    for (const auto& record : capture.records("level.config")) logged.push_back(record.level);
    EXPECT_EQ(logged, expected);
  }
}

// The threshold is read once; a change takes effect when the configuration
// is loaded again (a new process, or reloadConfiguration).
TEST_F(LevelConfigTest, RegistryChangeTakesEffectOnReload) {
  EnvironmentOverride environment(L"MIRDEX_LOG_LEVEL", nullptr);
  setRegistryDword(4);
  LoggerManager::reloadConfiguration();
  EXPECT_EQ(LoggerManager::threshold(), 4);
  setRegistryDword(1);
  EXPECT_EQ(LoggerManager::threshold(), 4);
  LoggerManager::reloadConfiguration();
  EXPECT_EQ(LoggerManager::threshold(), 1);
}

}  // namespace
