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

// Traits for the many handle kinds whose failure value is zero (null) and
// that one call gives back.
template <typename Handle, auto Close>
struct ZeroInvalidTraits {
  using handle_type = Handle;
  static Handle invalid() noexcept { return Handle{}; }
  static bool valid(Handle h) noexcept { return h != Handle{}; }
  static void close(Handle h) noexcept { Close(h); }
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

// Registry keys.
using RegKey = UniqueHandle<ZeroInvalidTraits<HKEY, &::RegCloseKey>>;

// Searches begun with FindFirstFile, ended with FindClose.
struct FindHandleTraits {
  using handle_type = HANDLE;
  static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static bool valid(HANDLE h) noexcept { return h != INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) noexcept { ::FindClose(h); }
};
using FindHandle = UniqueHandle<FindHandleTraits>;

// Modules loaded with LoadLibrary, freed with FreeLibrary.
using LoadedLibrary = UniqueHandle<ZeroInvalidTraits<HMODULE, &::FreeLibrary>>;

// GDI objects (bitmaps, brushes, pens, fonts, regions, palettes), deleted
// with DeleteObject. A region handed to SetWindowRgn belongs to the system
// afterwards: release() it then.
template <typename GdiHandle>
using GdiObject = UniqueHandle<ZeroInvalidTraits<GdiHandle, &::DeleteObject>>;
using GdiBitmap = GdiObject<HBITMAP>;
using GdiBrush = GdiObject<HBRUSH>;
using GdiPen = GdiObject<HPEN>;
using GdiFont = GdiObject<HFONT>;
using GdiRegion = GdiObject<HRGN>;

// Device contexts made by CreateCompatibleDC or CreateDC, deleted with
// DeleteDC.
using MemoryDc = UniqueHandle<ZeroInvalidTraits<HDC, &::DeleteDC>>;

// A window's device context (GetDC / GetWindowDC), given back with
// ReleaseDC, which needs the window as well as the context.
class WindowDc {
public:
  enum class Area { Client, Window };

  WindowDc() noexcept = default;
  // A null window gives the screen's context.
  explicit WindowDc(HWND window, Area area = Area::Client) noexcept
      : m_window(window),
        m_dc(area == Area::Client ? ::GetDC(window) : ::GetWindowDC(window)) {}
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  WindowDc(WindowDc&& other) noexcept
      : m_window(std::exchange(other.m_window, nullptr)), m_dc(std::exchange(other.m_dc, nullptr)) {}
  WindowDc& operator=(WindowDc&& other) noexcept {
    if (this != &other) {
      reset();
      m_window = std::exchange(other.m_window, nullptr);
      m_dc = std::exchange(other.m_dc, nullptr);
    }
    return *this;
  }
  ~WindowDc() { reset(); }

  HDC get() const noexcept { return m_dc; }
  HWND window() const noexcept { return m_window; }
  explicit operator bool() const noexcept { return m_dc != nullptr; }

  void reset() noexcept {
    if (HDC dc = std::exchange(m_dc, nullptr)) ::ReleaseDC(m_window, dc);
    m_window = nullptr;
  }

private:
  HWND m_window = nullptr;
  HDC m_dc = nullptr;
};

// Selects an object into a device context and selects the previous one
// back when it goes out of scope, so the object can be deleted afterwards
// (GDI refuses to delete an object that is selected).
class SelectedObject {
public:
  SelectedObject(HDC dc, HGDIOBJ object) noexcept
      : m_dc(dc), m_previous(dc && object ? ::SelectObject(dc, object) : nullptr) {}
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;
  ~SelectedObject() { restore(); }

  // Whether the selection took place.
  explicit operator bool() const noexcept { return m_previous != nullptr && m_previous != HGDI_ERROR; }

  void restore() noexcept {
    if (*this) ::SelectObject(m_dc, m_previous);
    m_previous = nullptr;
  }

private:
  HDC m_dc;
  HGDIOBJ m_previous;
};
