#pragma once
// Minidumps of the test process itself, written with the platform's writer:
// plain, or for an exception the test raises and continues from, so the
// dump has an exception stream whose facts the test knows.
#include <windows.h>

#include <cstdint>
#include <string>

class InProcessDump {
public:
  // A code of the customer range that nothing else raises.
  static constexpr DWORD kExceptionCode = 0xE0F0A001;
  static constexpr ULONG_PTR kFirstParameter = 0x1234;
  static constexpr ULONG_PTR kSecondParameter = 0xFEDCBA98;

  struct Raised {
    DWORD threadId = 0;
    std::uint64_t address = 0;
  };

  // A dump without exception information.
  static bool write(const std::wstring& path);
  // A dump written while kExceptionCode with the two parameters is being
  // dispatched on the calling thread.
  static bool writeForException(const std::wstring& path, Raised& raised);
};
