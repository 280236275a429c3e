#include "Bstr.h"

#include <climits>
#include <new>
#include <utility>

namespace {

BSTR copyOf(std::wstring_view text) noexcept {
  if (text.size() > UINT_MAX / sizeof(wchar_t)) return nullptr;
  return ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

BSTR mustCopy(std::wstring_view text) {
  BSTR s = copyOf(text);
  if (!s) throw std::bad_alloc();
  return s;
}

}  // namespace

Bstr::Bstr(const wchar_t* text) : m_s(text ? mustCopy(text) : nullptr) {}

Bstr::Bstr(std::wstring_view text) : m_s(mustCopy(text)) {}

Bstr::Bstr(const Bstr& other) : m_s(other.m_s ? mustCopy(other.view()) : nullptr) {}

Bstr::Bstr(Bstr&& other) noexcept : m_s(std::exchange(other.m_s, nullptr)) {}

Bstr& Bstr::operator=(const Bstr& other) {
  if (this != &other) reset(other.m_s ? mustCopy(other.view()) : nullptr);
  return *this;
}

Bstr& Bstr::operator=(Bstr&& other) noexcept {
  if (this != &other) reset(std::exchange(other.m_s, nullptr));
  return *this;
}

Bstr::~Bstr() { reset(); }

Bstr Bstr::fromAnsi(std::string_view text) { return fromCodePage(CP_ACP, text); }

Bstr Bstr::fromUtf8(std::string_view text) { return fromCodePage(CP_UTF8, text); }

Bstr Bstr::attach(BSTR owned) noexcept {
  Bstr b;
  b.m_s = owned;
  return b;
}

Bstr Bstr::fromCodePage(UINT codePage, std::string_view text) {
  if (text.size() > static_cast<size_t>(INT_MAX)) throw std::bad_alloc();
  const int inLen = static_cast<int>(text.size());
  const int outLen =
      inLen == 0 ? 0 : ::MultiByteToWideChar(codePage, 0, text.data(), inLen, nullptr, 0);
  Bstr out = attach(::SysAllocStringLen(nullptr, static_cast<UINT>(outLen > 0 ? outLen : 0)));
  if (out.isNull()) throw std::bad_alloc();
  if (outLen > 0) ::MultiByteToWideChar(codePage, 0, text.data(), inLen, out.m_s, outLen);
  return out;
}

std::string Bstr::toUtf8() const {
  const UINT len = length();
  if (len == 0 || len > static_cast<UINT>(INT_MAX)) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, m_s, static_cast<int>(len), nullptr, 0,
                                      nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, m_s, static_cast<int>(len), out.data(), n, nullptr, nullptr);
  return out;
}

BSTR* Bstr::put() noexcept {
  reset();
  return &m_s;
}

void Bstr::reset(BSTR owned) noexcept {
  BSTR old = std::exchange(m_s, owned);
  if (old && old != owned) ::SysFreeString(old);
}

BSTR Bstr::detach() noexcept { return std::exchange(m_s, nullptr); }

HRESULT Bstr::copyTo(BSTR* out) const noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!m_s) return S_OK;
  *out = copyOf(view());
  return *out ? S_OK : E_OUTOFMEMORY;
}
