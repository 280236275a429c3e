#include "LogFile.h"

#include <cwchar>
#include <utility>

namespace {

// After a failure, how long writers go on without trying again, so a
// missing disk does not cost every line a failing open or rename.
constexpr std::uint64_t kRetryOpenMs = 2000;
constexpr std::uint64_t kRetryRotateMs = 5000;

// Kernel object names cannot hold backslashes and must be the same in every
// process that names the file, however its path is spelled: they are made
// from a hash of the full, upper-cased path.
std::wstring objectName(const std::wstring& path, const wchar_t* kind) {
  std::wstring full(MAX_PATH, L'\0');
  DWORD length = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length >= full.size()) {
    full.resize(length);
    length = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  }
  if (length == 0 || length >= full.size()) {
    full = path;
  } else {
    full.resize(length);
  }
  std::wstring upper(full.size(), L'\0');
  if (::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, full.c_str(), static_cast<int>(full.size()),
                      upper.data(), static_cast<int>(upper.size()), nullptr, nullptr, 0) == 0) {
    upper = full;
  }

  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (wchar_t c : upper) {
    hash ^= static_cast<std::uint16_t>(c);
    hash *= 1099511628211ull;
  }
  wchar_t name[80];
  std::swprintf(name, sizeof name / sizeof name[0], L"Local\\Mirdex.LogFile.%016llX.%ls",
                static_cast<unsigned long long>(hash), kind);
  return name;
}

void createDirectories(const std::wstring& directory) {
  // Every prefix ending at a separator, then the whole: the ones that exist
  // (and the drive or server parts, which cannot be created) just fail.
  for (std::size_t i = directory.find_first_of(L"\\/"); i != std::wstring::npos;
       i = directory.find_first_of(L"\\/", i + 1)) {
    if (i > 0) ::CreateDirectoryW(directory.substr(0, i).c_str(), nullptr);
  }
  ::CreateDirectoryW(directory.c_str(), nullptr);
}

KernelHandle openForAppend(const std::wstring& path) {
  // Append-only access: the system moves every write to the end of the file
  // as one piece, which keeps lines of concurrent writers whole.
  auto open = [&path] {
    return KernelHandle(::CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  };
  KernelHandle file = open();
  if (!file && ::GetLastError() == ERROR_PATH_NOT_FOUND) {
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash != std::wstring::npos && slash > 0) {
      createDirectories(path.substr(0, slash));
      file = open();
    }
  }
  return file;
}

bool exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Renaming first frees the name at once even while a slow writer still has
// the file open (a deleted file keeps its name until its last handle closes).
bool removeFile(const std::wstring& path) {
  if (!exists(path)) return true;
  wchar_t suffix[32];
  std::swprintf(suffix, sizeof suffix / sizeof suffix[0], L".deleted.%lX", ::GetCurrentProcessId());
  const std::wstring doomed = path + suffix;
  if (::MoveFileExW(path.c_str(), doomed.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    ::DeleteFileW(doomed.c_str());
  } else {
    ::DeleteFileW(path.c_str());
  }
  return !exists(path);
}

// Waits for a mutex and releases it on leaving the scope, if it got it.
class MutexOwnership {
public:
  MutexOwnership(HANDLE mutex, DWORD timeoutMs) noexcept {
    if (!mutex) return;
    const DWORD wait = ::WaitForSingleObject(mutex, timeoutMs);
    // An abandoned mutex is owned all the same; its last owner died.
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) m_mutex = mutex;
  }
  ~MutexOwnership() {
    if (m_mutex) ::ReleaseMutex(m_mutex);
  }
  bool owned() const noexcept { return m_mutex != nullptr; }
  MutexOwnership(const MutexOwnership&) = delete;
  MutexOwnership& operator=(const MutexOwnership&) = delete;

private:
  HANDLE m_mutex = nullptr;
};

}  // namespace

LogFile::LogFile(std::wstring path, std::uint64_t maxBytes, int keep) noexcept
    : m_path(std::move(path)), m_maxBytes(maxBytes), m_keep(keep < 0 ? 0 : keep) {
  m_generation = &m_localGeneration;
  try {
    m_writeMutex.reset(::CreateMutexW(nullptr, FALSE, objectName(m_path, L"Write").c_str()));
    m_generationMapping.reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                   sizeof(LONG), objectName(m_path, L"Generation").c_str()));
  } catch (...) {
    // Without the names this file is still written and rotated, only without
    // agreeing with other processes.
  }
  if (m_generationMapping) {
    m_generationView.reset(::MapViewOfFile(m_generationMapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(LONG)));
    if (m_generationView) m_generation = static_cast<volatile long*>(m_generationView.get());
  }
}

LogFile::~LogFile() = default;

std::wstring LogFile::rotatedPath(const std::wstring& path, int index) {
  const std::size_t slash = path.find_last_of(L"\\/");
  const std::size_t nameStart = slash == std::wstring::npos ? 0 : slash + 1;
  std::size_t dot = path.find_last_of(L'.');
  if (dot == std::wstring::npos || dot <= nameStart) dot = path.size();
  return path.substr(0, dot) + L"." + std::to_wstring(index) + path.substr(dot);
}

long LogFile::sharedGeneration() const noexcept {
  return ::InterlockedCompareExchange(m_generation, 0, 0);
}

bool LogFile::append(std::string_view data) noexcept {
  if (data.size() > MAXDWORD) return false;
  try {
    MutexOwnership writing(m_writeMutex.get(), kLockWaitMs);
    const std::shared_ptr<const OpenFile> file = currentFile();
    if (!file) return false;
    DWORD written = 0;
    if (!::WriteFile(file->handle.get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr) ||
        written != data.size()) {
      return false;
    }
    LARGE_INTEGER size;
    // Only the owner of the mutex rotates: nobody else writes meanwhile.
    if (m_maxBytes != 0 && writing.owned() && ::GetFileSizeEx(file->handle.get(), &size) &&
        static_cast<std::uint64_t>(size.QuadPart) >= m_maxBytes) {
      rotate();
    }
    return true;
  } catch (...) {
    return false;
  }
}

std::shared_ptr<const LogFile::OpenFile> LogFile::currentFile() noexcept {
  // Read before opening: a rotation between the two then only costs one
  // more reopen, never a missed one.
  const long generation = sharedGeneration();
  {
    CriticalSectionLock lock(m_lock);
    if (m_file && m_file->generation == generation) return m_file;
    if (::GetTickCount64() < m_retryOpenAt) return m_file;
  }

  // Opened outside the lock, which guards only the pointer.
  KernelHandle handle;
  try {
    handle = openForAppend(m_path);
  } catch (...) {
  }
  std::shared_ptr<const OpenFile> replaced;  // closed after the lock is left
  CriticalSectionLock lock(m_lock);
  if (!handle) {
    m_retryOpenAt = ::GetTickCount64() + kRetryOpenMs;
    return m_file;
  }
  m_retryOpenAt = 0;
  if (!m_file || m_file->generation != generation) {
    try {
      auto opened = std::make_shared<OpenFile>(OpenFile{std::move(handle), generation});
      replaced = std::exchange(m_file, std::move(opened));
    } catch (...) {
    }
  }
  return m_file;
}

void LogFile::rotate() noexcept {
  if (::GetTickCount64() < m_retryRotateAt.load()) return;
  bool shifted = false;
  try {
    shifted = shiftFiles();
  } catch (...) {
  }
  if (!shifted) {
    // Someone holds a file without letting it be renamed: the current file
    // grows on for a while rather than every line trying again.
    m_retryRotateAt.store(::GetTickCount64() + kRetryRotateMs);
    return;
  }
  ::InterlockedIncrement(m_generation);
}

bool LogFile::shiftFiles() {
  if (m_keep == 0) return removeFile(m_path);
  removeFile(rotatedPath(m_keep));
  for (int index = m_keep - 1; index >= 1; --index) {
    const std::wstring from = rotatedPath(index);
    if (exists(from)) ::MoveFileExW(from.c_str(), rotatedPath(index + 1).c_str(), 0);
  }
  return ::MoveFileExW(m_path.c_str(), rotatedPath(1).c_str(), 0) != FALSE;
}
