#pragma once
// A minidump file mapped for reading, with the streams the crash report
// uses. The streams are found with the platform's MiniDumpReadDumpStream,
// which trusts every offset in the file; so the header, the stream
// directory and each stream's place are checked against the file's size
// when it is opened, and every list and text inside a stream when it is
// read. A damaged or cut dump is reported, never read past its end.
#include "MappedView.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <dbghelp.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class MinidumpFile {
public:
  // How a stream was found.
  enum class Lookup { Found, Missing, Damaged };

  struct Exception {
    DWORD threadId = 0;
    DWORD code = 0;
    DWORD flags = 0;
    std::uint64_t address = 0;
    std::vector<std::uint64_t> parameters;
  };
  struct Thread {
    DWORD id = 0;
    std::uint64_t teb = 0;
  };
  struct Module {
    std::uint64_t base = 0;
    DWORD size = 0;
    std::wstring path;
    // File version from the module's version resource, when recorded.
    std::optional<std::array<WORD, 4>> version;

    bool contains(std::uint64_t address) const noexcept {
      return address >= base && address - base < size;
    }
    // The file name without its folder.
    std::wstring name() const;
  };
  struct SystemInfo {
    WORD processorArchitecture = 0;
    WORD processorLevel = 0;
    WORD processorRevision = 0;
    BYTE processorCount = 0;
    BYTE productType = 0;
    DWORD majorVersion = 0;
    DWORD minorVersion = 0;
    DWORD buildNumber = 0;
    DWORD platformId = 0;
    std::wstring servicePack;
  };

  MinidumpFile() = default;
  MinidumpFile(const MinidumpFile&) = delete;
  MinidumpFile& operator=(const MinidumpFile&) = delete;

  // Opens and maps the file and checks its header and stream directory.
  // False with the reason in error() when it is no readable minidump.
  bool open(const std::wstring& path);
  const std::wstring& error() const noexcept { return m_error; }

  std::uint64_t fileSize() const noexcept { return m_size; }
  // When the dump was written (seconds since 1970, UTC).
  DWORD timeDateStamp() const noexcept;

  // Whether the dump has a stream of that type (MemoryListStream,
  // Memory64ListStream, HandleDataStream ...).
  bool hasStream(ULONG type) const;

  Lookup exception(Exception& out) const;
  // The lists are cleared first: a stream that is missing or damaged
  // leaves them empty or partly filled.
  Lookup threads(std::vector<Thread>& out) const;
  Lookup modules(std::vector<Module>& out) const;
  Lookup systemInfo(SystemInfo& out) const;

  // The module whose image holds the address, or null.
  static const Module* moduleAt(const std::vector<Module>& modules, std::uint64_t address) noexcept;

private:
  struct Stream {
    const BYTE* data = nullptr;
    ULONG size = 0;
  };
  Lookup stream(ULONG type, Stream& out) const;
  // Hands each fixed-size Entry of a list stream to `take`, which answers
  // false for an entry that is damaged.
  template <typename Entry, typename Take>
  Lookup forEachEntry(ULONG type, Take take) const;
  // A text stored at rva; nullopt when it does not lie inside the file.
  std::optional<std::wstring> text(RVA rva) const;
  bool inside(std::uint64_t offset, std::uint64_t length) const noexcept {
    return offset <= m_size && length <= m_size - offset;
  }
  bool fail(std::wstring reason);

  KernelHandle m_file;
  KernelHandle m_mapping;
  MappedView m_view;
  const BYTE* m_base = nullptr;
  std::uint64_t m_size = 0;
  std::wstring m_error;
};
