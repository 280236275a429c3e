#include "ComModule.h"

ComModule& ComModule::instance() noexcept {
  static ComModule module;
  return module;
}

LONG ComModule::lock() noexcept { return ::InterlockedIncrement(&m_count); }

LONG ComModule::unlock() noexcept {
  const LONG count = ::InterlockedDecrement(&m_count);
  if (count == 0) {
    IdleHandler handler = m_handler;
    if (handler) handler(m_context);
  }
  return count;
}

LONG ComModule::lockCount() const noexcept {
  return ::InterlockedCompareExchange(const_cast<volatile LONG*>(&m_count), 0, 0);
}

void ComModule::setIdleHandler(IdleHandler handler, void* context) noexcept {
  m_context = context;
  m_handler = handler;
}

namespace {
// Any address inside this code's image names the module: the toolkit is
// linked statically, so it lies in whichever program or DLL linked it.
const char g_moduleMarker = 0;
}  // namespace

HMODULE ComModule::moduleHandle() noexcept {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&g_moduleMarker), &module)) {
    return nullptr;
  }
  return module;
}

std::wstring ComModule::modulePath() {
  HMODULE module = moduleHandle();
  if (!module) return {};
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    // Truncated: try again with more room (long paths).
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}
