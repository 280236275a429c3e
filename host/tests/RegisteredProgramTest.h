#pragma once
// A fixture for tests of the running program: Mirdex.exe registered once
// for the suite, as an installer leaves it.
#include "HostProcess.h"

#include <gtest/gtest.h>

class RegisteredProgramTest : public testing::Test {
protected:
  static void SetUpTestSuite() {
    HostProcess registration(L"/RegServer");
    ASSERT_EQ(registration.wait(), 0u);
  }
};
