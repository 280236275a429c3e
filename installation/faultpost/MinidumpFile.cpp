#include "MinidumpFile.h"

#include "StatusText.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

namespace {

// Longest module path or text kept from a dump; anything longer is damage.
// "MDMP" read as a little-endian number (the platform's header spells it
// as a multi-character constant).
constexpr ULONG32 kSignature = 0x504D444D;

constexpr ULONG32 kMaxTextBytes = 32768 * sizeof(wchar_t);

// Dumps are little-endian records of packed fields: copy them out instead
// of pointing into the mapping at possibly unaligned places.
template <typename T>
T copyOut(const BYTE* at) noexcept {
  T value;
  std::memcpy(&value, at, sizeof(T));
  return value;
}

std::wstring widen(const std::string& text) {
  std::wstring out;
  const int length = static_cast<int>(text.size());
  const int needed = ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  if (needed <= 0) return out;
  out.resize(static_cast<std::size_t>(needed));
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, out.data(), needed);
  return out;
}

// A list stream: a 32-bit count followed by that many fixed-size entries.
// Reads the count and checks the entries fit the stream.
bool listEntries(const BYTE* data, ULONG size, std::size_t entrySize, ULONG32& count) noexcept {
  if (size < sizeof(ULONG32)) return false;
  count = copyOut<ULONG32>(data);
  return count <= (size - sizeof(ULONG32)) / entrySize;
}

}  // namespace

std::wstring MinidumpFile::Module::name() const {
  const std::size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

bool MinidumpFile::fail(std::wstring reason) {
  m_error = std::move(reason);
  m_base = nullptr;
  m_view.reset();
  m_mapping.reset();
  m_file.reset();
  return false;
}

bool MinidumpFile::open(const std::wstring& path) {
  m_error.clear();
  m_file.reset(::CreateFileW(path.c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!m_file) return fail(L"the file could not be opened: " + widen(StatusText::lastError().str()));

  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(m_file.get(), &size)) {
    return fail(L"the file's size is unknown: " + widen(StatusText::lastError().str()));
  }
  m_size = static_cast<std::uint64_t>(size.QuadPart);
  if (m_size == 0) return fail(L"the file is empty");
  if (m_size < sizeof(MINIDUMP_HEADER)) return fail(L"the file is too short for a minidump");
  if constexpr (sizeof(std::size_t) < sizeof(std::uint64_t)) {
    if (m_size > SIZE_MAX) return fail(L"the file is too large to be read");
  }

  m_mapping.reset(::CreateFileMappingW(m_file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!m_mapping) {
    return fail(L"the file could not be mapped: " + widen(StatusText::lastError().str()));
  }
  m_view.reset(::MapViewOfFile(m_mapping.get(), FILE_MAP_READ, 0, 0, 0));
  if (!m_view) return fail(L"the file could not be mapped: " + widen(StatusText::lastError().str()));
  m_base = static_cast<const BYTE*>(m_view.get());

  const auto header = copyOut<MINIDUMP_HEADER>(m_base);
  if (header.Signature != kSignature) return fail(L"the file is not a minidump");
  if (!inside(header.StreamDirectoryRva,
              static_cast<std::uint64_t>(header.NumberOfStreams) * sizeof(MINIDUMP_DIRECTORY))) {
    return fail(L"the file is cut short: its stream directory lies beyond the end");
  }
  for (ULONG32 i = 0; i < header.NumberOfStreams; ++i) {
    const auto entry = copyOut<MINIDUMP_DIRECTORY>(m_base + header.StreamDirectoryRva +
                                                   i * sizeof(MINIDUMP_DIRECTORY));
    if (entry.StreamType == UnusedStream) continue;
    if (!inside(entry.Location.Rva, entry.Location.DataSize)) {
      return fail(L"the file is cut short or damaged: stream " + std::to_wstring(i) + L" (type " +
                  std::to_wstring(entry.StreamType) + L") lies beyond the end");
    }
  }
  return true;
}

DWORD MinidumpFile::timeDateStamp() const noexcept {
  return m_base ? copyOut<MINIDUMP_HEADER>(m_base).TimeDateStamp : 0;
}

MinidumpFile::Lookup MinidumpFile::stream(ULONG type, Stream& out) const {
  if (!m_base) return Lookup::Missing;
  MINIDUMP_DIRECTORY* directory = nullptr;
  void* data = nullptr;
  ULONG size = 0;
  if (!::MiniDumpReadDumpStream(const_cast<BYTE*>(m_base), type, &directory, &data, &size) ||
      !data) {
    return Lookup::Missing;
  }
  // open() checked every stream of the directory; this guards against a
  // reader that finds a stream some other way.
  const auto* at = static_cast<const BYTE*>(data);
  if (at < m_base || !inside(static_cast<std::uint64_t>(at - m_base), size)) {
    return Lookup::Damaged;
  }
  out.data = at;
  out.size = size;
  return Lookup::Found;
}

bool MinidumpFile::hasStream(ULONG type) const {
  Stream s;
  return stream(type, s) == Lookup::Found;
}

std::optional<std::wstring> MinidumpFile::text(RVA rva) const {
  if (!inside(rva, sizeof(ULONG32))) return std::nullopt;
  const auto bytes = copyOut<ULONG32>(m_base + rva);
  if (bytes % sizeof(wchar_t) != 0 || bytes > kMaxTextBytes ||
      !inside(static_cast<std::uint64_t>(rva) + sizeof(ULONG32), bytes)) {
    return std::nullopt;
  }
  std::wstring value(bytes / sizeof(wchar_t), L'\0');
  std::memcpy(value.data(), m_base + rva + sizeof(ULONG32), bytes);
  return value;
}

MinidumpFile::Lookup MinidumpFile::exception(Exception& out) const {
  Stream s;
  const Lookup found = stream(ExceptionStream, s);
  if (found != Lookup::Found) return found;
  if (s.size < sizeof(MINIDUMP_EXCEPTION_STREAM)) return Lookup::Damaged;
  const auto record = copyOut<MINIDUMP_EXCEPTION_STREAM>(s.data);
  out.threadId = record.ThreadId;
  out.code = record.ExceptionRecord.ExceptionCode;
  out.flags = record.ExceptionRecord.ExceptionFlags;
  out.address = record.ExceptionRecord.ExceptionAddress;
  const ULONG32 count = record.ExceptionRecord.NumberParameters;
  if (count > EXCEPTION_MAXIMUM_PARAMETERS) return Lookup::Damaged;
  out.parameters.assign(record.ExceptionRecord.ExceptionInformation,
                        record.ExceptionRecord.ExceptionInformation + count);
  return Lookup::Found;
}

template <typename Entry, typename Take>
MinidumpFile::Lookup MinidumpFile::forEachEntry(ULONG type, Take take) const {
  Stream s;
  const Lookup found = stream(type, s);
  if (found != Lookup::Found) return found;
  ULONG32 count = 0;
  if (!listEntries(s.data, s.size, sizeof(Entry), count)) return Lookup::Damaged;
  for (ULONG32 i = 0; i < count; ++i) {
    if (!take(copyOut<Entry>(s.data + sizeof(ULONG32) + i * sizeof(Entry)))) return Lookup::Damaged;
  }
  return Lookup::Found;
}

MinidumpFile::Lookup MinidumpFile::threads(std::vector<Thread>& out) const {
  out.clear();
  return forEachEntry<MINIDUMP_THREAD>(ThreadListStream, [&out](const MINIDUMP_THREAD& entry) {
    out.push_back(Thread{entry.ThreadId, entry.Teb});
    return true;
  });
}

MinidumpFile::Lookup MinidumpFile::modules(std::vector<Module>& out) const {
  out.clear();
  return forEachEntry<MINIDUMP_MODULE>(ModuleListStream, [this, &out](const MINIDUMP_MODULE& entry) {
    std::optional<std::wstring> path = text(entry.ModuleNameRva);
    if (!path) return false;
    Module module;
    module.base = entry.BaseOfImage;
    module.size = entry.SizeOfImage;
    module.path = std::move(*path);
    const VS_FIXEDFILEINFO& version = entry.VersionInfo;
    if (version.dwSignature == 0xFEEF04BD) {
      module.version = std::array<WORD, 4>{
          HIWORD(version.dwFileVersionMS), LOWORD(version.dwFileVersionMS),
          HIWORD(version.dwFileVersionLS), LOWORD(version.dwFileVersionLS)};
    }
    out.push_back(std::move(module));
    return true;
  });
}

MinidumpFile::Lookup MinidumpFile::systemInfo(SystemInfo& out) const {
  Stream s;
  const Lookup found = stream(SystemInfoStream, s);
  if (found != Lookup::Found) return found;
  if (s.size < sizeof(MINIDUMP_SYSTEM_INFO)) return Lookup::Damaged;
  const auto info = copyOut<MINIDUMP_SYSTEM_INFO>(s.data);
  out.processorArchitecture = info.ProcessorArchitecture;
  out.processorLevel = info.ProcessorLevel;
  out.processorRevision = info.ProcessorRevision;
  out.processorCount = info.NumberOfProcessors;
  out.productType = info.ProductType;
  out.majorVersion = info.MajorVersion;
  out.minorVersion = info.MinorVersion;
  out.buildNumber = info.BuildNumber;
  out.platformId = info.PlatformId;
  // The service-pack text is optional; a bad reference to it is damage.
  out.servicePack.clear();
  if (info.CSDVersionRva != 0) {
    std::optional<std::wstring> servicePack = text(info.CSDVersionRva);
    if (!servicePack) return Lookup::Damaged;
    out.servicePack = std::move(*servicePack);
  }
  return Lookup::Found;
}

const MinidumpFile::Module* MinidumpFile::moduleAt(const std::vector<Module>& modules,
                                                   std::uint64_t address) noexcept {
  for (const Module& module : modules) {
    if (module.contains(address)) return &module;
  }
  return nullptr;
}
