// Registration of the real program: "RegServer" and "UnregServer" and
// their per-user variants, started as a process and checked in the
// registry.
#include "HostProcess.h"
#include "RegistrationExpectations.h"
#include "RegistryReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::string describe(const ExpectedEntry& e) {
  std::wstring where = e.key + L" [" + (e.name ? e.name : L"(key)") + L"]";
  return testing::PrintToString(where);
}

bool present(const ExpectedEntry& e) {
  return e.name ? RegistryReader::valueExists(e.root, e.key, e.name)
                : RegistryReader::keyExists(e.root, e.key);
}

void expectWritten(const std::vector<ExpectedEntry>& entries) {
  for (const ExpectedEntry& e : entries) {
    if (!e.name) {
      EXPECT_TRUE(RegistryReader::keyExists(e.root, e.key)) << describe(e);
    } else if (e.isNumber) {
      EXPECT_EQ(RegistryReader::number(e.root, e.key, e.name), e.number) << describe(e);
    } else {
      EXPECT_EQ(RegistryReader::text(e.root, e.key, e.name), e.text) << describe(e);
    }
  }
}

// The class-root entries as a per-user registration writes them.
std::vector<ExpectedEntry> perUserClassEntries(const std::wstring& module) {
  std::vector<ExpectedEntry> entries;
  for (ExpectedEntry e : RegistrationExpectations::all(module)) {
    if (e.root != HKEY_CLASSES_ROOT) continue;
    // Where a per-user type library goes is the system's business.
    if (e.key == RegistrationExpectations::kTypeLibKey) continue;
    e.root = HKEY_CURRENT_USER;
    e.key = L"Software\\Classes\\" + e.key;
    entries.push_back(std::move(e));
  }
  return entries;
}

class RegistrationTest : public testing::Test {
protected:
  static DWORD run(const wchar_t* arguments) {
    HostProcess host(arguments);
    EXPECT_TRUE(host.started());
    return host.wait();
  }

  void TearDown() override {
    RegistryReader::deleteValue(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Mirdex\\Services",
                                L"ProcessTestService");
    // The other tests use the machine registration.
    EXPECT_EQ(run(L"/RegServer"), 0u);
  }

  const std::wstring module = HostProcess::programPath();
};

TEST_F(RegistrationTest, RegServerWritesEveryEntry) {
  ASSERT_EQ(run(L"/RegServer"), 0u);
  expectWritten(RegistrationExpectations::all(module));
  EXPECT_TRUE(RegistrationExpectations::excludedFromErrorReporting());
}

TEST_F(RegistrationTest, UnregServerRemovesItsEntriesAndKeepsSharedKeys) {
  ASSERT_EQ(run(L"-regserver"), 0u);
  // A service another component registered.
  ASSERT_TRUE(RegistryReader::setText(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Mirdex\\Services",
                                      L"ProcessTestService", L"SERVICE:Config"));

  ASSERT_EQ(run(L"/UnregServer"), 0u);

  const auto kept = RegistrationExpectations::keptMachineKeys();
  for (const ExpectedEntry& e : RegistrationExpectations::all(module)) {
    const bool keptKey = !e.name && e.root == HKEY_LOCAL_MACHINE &&
                         std::find(kept.begin(), kept.end(), e.key) != kept.end();
    EXPECT_EQ(present(e), keptKey) << describe(e);
  }
  for (const std::wstring& key : kept) {
    EXPECT_TRUE(RegistryReader::keyExists(HKEY_LOCAL_MACHINE, key)) << testing::PrintToString(key);
  }
  EXPECT_TRUE(RegistryReader::valueExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Mirdex\\Services",
                                          L"ProcessTestService"));
  EXPECT_TRUE(RegistryReader::keyExists(HKEY_CLASSES_ROOT, L"MIME\\Database\\Content Type"));
  EXPECT_FALSE(RegistrationExpectations::excludedFromErrorReporting());

  // Nothing left to remove is not a failure.
  EXPECT_EQ(run(L"/UnregServer"), 0u);
}

TEST_F(RegistrationTest, PerUserVariantsWriteClassesForTheUser) {
  ASSERT_EQ(run(L"/RegServerPerUser"), 0u);
  const auto entries = perUserClassEntries(module);
  expectWritten(entries);

  ASSERT_EQ(run(L"/UnregServerPerUser"), 0u);
  for (const ExpectedEntry& e : entries) {
    EXPECT_FALSE(present(e)) << describe(e);
  }
}

}  // namespace
