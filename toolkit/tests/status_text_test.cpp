#include "StatusText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The system's texts differ between Windows versions and Wine, so cases with
// a text check the exact code part and the shape of the text; cases without
// one check the whole result.
struct StatusCase {
  const char* name;
  DWORD code;
  const char* prefix;  // everything up to the system text
  bool hasText;
};

const StatusCase kCases[] = {
    {"customer code without text", 0x20000001, "E536870913#20000001", false},
    {"all bits set, no text", 0xFFFFFFFF, "E-1#FFFFFFFF", false},
    {"E_FAIL", static_cast<DWORD>(E_FAIL), "E-2147467259#80004005 ", true},
    {"E_INVALIDARG", static_cast<DWORD>(E_INVALIDARG), "E-2147024809#80070057 ", true},
    {"E_OUTOFMEMORY", static_cast<DWORD>(E_OUTOFMEMORY), "E-2147024882#8007000E ", true},
    {"success", ERROR_SUCCESS, "E0#0 ", true},
    {"file not found", ERROR_FILE_NOT_FOUND, "E2#2 ", true},
    {"access denied", ERROR_ACCESS_DENIED, "E5#5 ", true},
    {"RPC server unavailable", RPC_S_SERVER_UNAVAILABLE, "E1722#6BA ", true},
};

void expectStatusText(const StatusCase& c, const std::string& text) {
  SCOPED_TRACE(c.name);
  if (!c.hasText) {
    EXPECT_EQ(text, c.prefix);
    return;
  }
  const std::string prefix = c.prefix;
  ASSERT_GT(text.size(), prefix.size()) << text;
  EXPECT_EQ(text.substr(0, prefix.size()), prefix);
  const char last = text.back();
  EXPECT_NE(last, '\n') << "line end of the message table left in: " << text;
  EXPECT_NE(last, '\r') << "line end of the message table left in: " << text;
  EXPECT_NE(text[prefix.size()], ' ') << "exactly one blank before the text: " << text;
}

TEST(StatusText, FormatsCodeAndSystemText) {
  for (const StatusCase& c : kCases) {
    const StatusText status(c.code);
    EXPECT_EQ(status.code(), c.code);
    expectStatusText(c, status.c_str());
  }
}

TEST(StatusText, LastErrorOfTheCallingThread) {
  for (const StatusCase& c : kCases) {
    ::SetLastError(c.code);
    const StatusText status = StatusText::lastError();
    EXPECT_EQ(status.code(), c.code);
    expectStatusText(c, status.str());
  }
}

// Codes come as HRESULT (long), Win32 errors (DWORD) or plain int; each is
// the same 32-bit status.
TEST(StatusText, TakesTheCodeInAnyIntegerType) {
  const std::string expected = StatusText(static_cast<DWORD>(E_FAIL)).str();
  EXPECT_EQ(StatusText{E_FAIL}.str(), expected);
  EXPECT_EQ(StatusText(static_cast<int>(E_FAIL)).str(), expected);
  EXPECT_EQ(StatusText(static_cast<long long>(static_cast<DWORD>(E_FAIL))).str(), expected);
  EXPECT_EQ(StatusText(0x20000001).str(), "E536870913#20000001");
}

// A message whose text has an insert (%1) must come back with the insert
// as it is: there are no arguments to put in, and expanding it would read
// arguments nobody passed.
TEST(StatusText, KeepsInsertsOfTheMessageLiteral) {
  const StatusText status(ERROR_BAD_EXE_FORMAT);
  const std::string text = status.str();
  ASSERT_EQ(text.substr(0, 8), "E193#C1 ") << text;
  EXPECT_NE(text.find("%1"), std::string::npos) << text;
}

}  // namespace
