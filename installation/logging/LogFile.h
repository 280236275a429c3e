#pragma once
// A log file that several threads and several processes append to at once,
// rotated by size.
//
// The file is opened for appending only, and shared for reading, writing
// and deleting, so viewers can follow it and another process can rotate it.
// Every line goes to it in one write. Appending alone keeps concurrent lines
// whole on Windows, but not everywhere the program runs (Wine places each
// write at the end it saw before writing, so concurrent lines overwrite each
// other); so each write is also made under a mutex named after the file,
// shared by every thread and process that writes it. The mutex is held for
// that one write, and for a rotation when the write filled the file; a
// writer that cannot get it in kLockWaitMs writes without it rather than
// wait longer.
//
// Rotation happens under the same mutex, right after the write that took
// the file to its limit, so no line is written while files are renamed. A
// generation number in named shared memory counts the rotations: a writer
// whose handle is older than the current generation reopens the path before
// its next line, so no process writes into a file that was renamed.
//
// Nothing here throws: a failure to open or write is reported as false, and
// opening is tried again only after a pause, so a missing disk costs the
// callers little.
#include "CriticalSection.h"
#include "MappedView.h"
#include "UniqueHandle.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class LogFile {
public:
  static constexpr unsigned long kLockWaitMs = 1000;

  // path: the full path of the current file; maxBytes: the size from which
  // it is rotated (0: never); keep: how many older files are kept.
  LogFile(std::wstring path, std::uint64_t maxBytes, int keep) noexcept;
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Appends data (whole lines) in one write; false when it was not written.
  bool append(std::string_view data) noexcept;

  const std::wstring& path() const noexcept { return m_path; }

  // The path of the index-th older file of the file at path (1 is the newest
  // of them): the index goes before the extension, "x.log" gives "x.1.log".
  static std::wstring rotatedPath(const std::wstring& path, int index);
  std::wstring rotatedPath(int index) const { return rotatedPath(m_path, index); }

private:
  struct OpenFile {
    KernelHandle handle;
    long generation;
  };

  std::shared_ptr<const OpenFile> currentFile() noexcept;
  void rotate() noexcept;
  bool shiftFiles();
  long sharedGeneration() const noexcept;

  const std::wstring m_path;
  const std::uint64_t m_maxBytes;
  const int m_keep;

  KernelHandle m_writeMutex;
  KernelHandle m_generationMapping;
  MappedView m_generationView;
  volatile long* m_generation = nullptr;  // in the shared view, or m_localGeneration
  long m_localGeneration = 0;

  // Guards m_file and m_retryOpenAt, for the writers that could not get the
  // mutex; held only to look at or swap them.
  CriticalSection m_lock;
  std::shared_ptr<const OpenFile> m_file;
  std::uint64_t m_retryOpenAt = 0;

  std::atomic<std::uint64_t> m_retryRotateAt{0};
};
