#include "StatusText.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

struct LocalFreeDeleter {
  void operator()(void* p) const noexcept { ::LocalFree(p); }
};

// The system's message for code in the thread's ANSI code page, without the
// line end the message table puts after every text; empty when the system
// has no text. Inserts such as %1 are left as they are: no arguments exist
// for them, and expanding them would read arguments that were never passed.
std::string systemText(DWORD code) {
  wchar_t* raw = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&raw), 0,
      nullptr);
  std::unique_ptr<wchar_t, LocalFreeDeleter> owned(raw);
  if (length == 0 || !owned) return {};

  int end = static_cast<int>(length);
  while (end > 0 && (raw[end - 1] == L'\r' || raw[end - 1] == L'\n')) --end;
  if (end == 0) return {};

  const int bytes = ::WideCharToMultiByte(CP_THREAD_ACP, 0, raw, end, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string text(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_THREAD_ACP, 0, raw, end, text.data(), bytes, nullptr, nullptr);
  return text;
}

}  // namespace

StatusText::StatusText(FromCode from) : m_code(from.code) {
  const DWORD code = from.code;
  const std::string text = systemText(code);
  // Room for the text and the two renderings of the code.
  std::vector<char> buffer(text.size() + 100);
  const int signedCode = static_cast<int>(code);
  const unsigned unsignedCode = static_cast<unsigned>(code);
  const int written = text.empty()
      ? std::snprintf(buffer.data(), buffer.size(), "E%d#%X", signedCode, unsignedCode)
      : std::snprintf(buffer.data(), buffer.size(), "E%d#%X %s", signedCode, unsignedCode, text.c_str());
  if (written > 0) m_text.assign(buffer.data(), std::min(static_cast<size_t>(written), buffer.size() - 1));
}

StatusText StatusText::lastError() {
  return StatusText(::GetLastError());
}
