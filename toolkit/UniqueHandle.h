#pragma once
// Owning wrappers for system handles: one template, one traits type per kind
// of handle, so every handle in the code base is closed exactly once.
#include <windows.h>

#include <utility>

template <typename Traits>
class UniqueHandle {
public:
  using handle_type = typename Traits::handle_type;

  UniqueHandle() noexcept = default;
  explicit UniqueHandle(handle_type h) noexcept : m_h(h) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : m_h(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueHandle() { reset(); }

  handle_type get() const noexcept { return m_h; }
  explicit operator bool() const noexcept { return Traits::valid(m_h); }

  handle_type release() noexcept { return std::exchange(m_h, Traits::invalid()); }

  void reset(handle_type h = Traits::invalid()) noexcept {
    handle_type old = std::exchange(m_h, h);
    if (Traits::valid(old)) Traits::close(old);
  }

  // For out-parameters of creating calls: closes what is held first.
  handle_type* put() noexcept {
    reset();
    return &m_h;
  }

private:
  handle_type m_h = Traits::invalid();
};

// Kernel objects: events, timers, threads, mutexes, processes, files, pipes.
// Creating calls report failure as null or as INVALID_HANDLE_VALUE depending
// on the call; valid() accepts neither, so one type serves both.
struct KernelHandleTraits {
  using handle_type = HANDLE;
  static HANDLE invalid() noexcept { return nullptr; }
  static bool valid(HANDLE h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) noexcept { ::CloseHandle(h); }
};
using KernelHandle = UniqueHandle<KernelHandleTraits>;

struct RegKeyTraits {
  using handle_type = HKEY;
  static HKEY invalid() noexcept { return nullptr; }
  static bool valid(HKEY h) noexcept { return h != nullptr; }
  static void close(HKEY h) noexcept { ::RegCloseKey(h); }
};
using RegKey = UniqueHandle<RegKeyTraits>;
