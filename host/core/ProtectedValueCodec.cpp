#include "ProtectedValueCodec.h"

#include "Logger.h"
#include "LoggerManager.h"
#include "RegBuf.h"
#include "RegCodec.h"
#include "RegFlagValue.h"
#include "RegRawValue.h"
#include "StatusText.h"
#include "UniqueHandle.h"

#include <windows.h>
#include <wincrypt.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The key and initial vector of "MirdexAccess" codes. Those codes are kept
// in configurations and passed between programs long after they were made;
// a different key or vector would make every one of them unreadable. These
// bytes must never change.
constexpr std::uint8_t kAccessKey[16] = {0x70, 0x7C, 0x49, 0xCB, 0xFA, 0xFB, 0xFF, 0x22,
                                         0xAA, 0x95, 0x5D, 0x76, 0x72, 0xA9, 0xA0, 0xBE};
constexpr Blowfish::Block kAccessIv = {0x24, 0xC2, 0x97, 0x64, 0xE4, 0x7C, 0xDE, 0x0C};

// The flag of the "LogIn" code's flag list.
constexpr int kLogInFlag = 1;

void releaseCryptProvider(HCRYPTPROV provider) noexcept { ::CryptReleaseContext(provider, 0); }
using CryptProvider = UniqueHandle<ZeroInvalidTraits<HCRYPTPROV, &releaseCryptProvider>>;

using CryptHash = UniqueHandle<ZeroInvalidTraits<HCRYPTHASH, &::CryptDestroyHash>>;

// The text in a narrow code page; null when the system cannot convert it.
// With WC_ERR_INVALID_CHARS (UTF-8 only) a text holding an unpaired
// surrogate cannot be converted instead of having it replaced.
std::optional<std::string> narrowText(UINT codePage, DWORD flags, const wchar_t* text) {
  const std::size_t length = std::wcslen(text);
  if (length == 0) return std::string();
  if (length > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
  const int wide = static_cast<int>(length);
  const int bytes = ::WideCharToMultiByte(codePage, flags, text, wide, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::nullopt;
  std::string out(static_cast<std::size_t>(bytes), '\0');
  if (::WideCharToMultiByte(codePage, flags, text, wide, out.data(), bytes, nullptr, nullptr) != bytes) {
    return std::nullopt;
  }
  return out;
}

std::span<std::uint8_t> bytesOf(std::string& text) noexcept {
  return {reinterpret_cast<std::uint8_t*>(text.data()), text.size()};
}

// Codes are ASCII, so any conversion gives the same text.
Bstr codeText(std::string_view code) { return Bstr::fromUtf8(code); }

bool samePurpose(const wchar_t* purpose, const wchar_t* name) noexcept {
  return ::CompareStringOrdinal(purpose, -1, name, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

ProtectedValueCodec::ProtectedValueCodec()
    : m_logger(LoggerManager::get("controller")), m_accessCipher(kAccessKey) {}

ProtectedValueCodec::Scheme ProtectedValueCodec::schemeOf(const wchar_t* purpose) noexcept {
  if (samePurpose(purpose, L"LogIn")) return Scheme::LogIn;
  if (samePurpose(purpose, L"Proxy")) return Scheme::Proxy;
  if (samePurpose(purpose, L"MirdexAccess")) return Scheme::MirdexAccess;
  return Scheme::Unsupported;
}

Bstr ProtectedValueCodec::encode(const wchar_t* purpose, const wchar_t* src) const {
  if (!purpose || !src) {
    m_logger->error("CFrameworkController:Encode(%S): invalid parameters", purpose);
    return {};
  }
  switch (schemeOf(purpose)) {
    case Scheme::LogIn:
      return encodeLogIn(purpose, src);
    case Scheme::Proxy:
      return encodeProxy(purpose, src);
    case Scheme::MirdexAccess:
      return encodeAccess(purpose, src);
    case Scheme::Unsupported:
      break;
  }
  m_logger->error("CFrameworkController:Encode(%S): unsupported purpose", purpose);
  return {};
}

Bstr ProtectedValueCodec::decode(const wchar_t* purpose, const wchar_t* src) const {
  if (!purpose || !src) {
    m_logger->error("CFrameworkController:Decode(%S): invalid parameters", purpose);
    return {};
  }
  switch (schemeOf(purpose)) {
    case Scheme::LogIn:
      m_logger->error("CFrameworkController:Decode(%S): LogIn password is not decryptable", purpose);
      return {};
    case Scheme::Proxy:
      return decodeProxy(purpose, src);
    case Scheme::MirdexAccess:
      return decodeAccess(purpose, src);
    case Scheme::Unsupported:
      break;
  }
  m_logger->error("CFrameworkController:Decode(%S): unsupported purpose", purpose);
  return {};
}

Bstr ProtectedValueCodec::encodeLogIn(const wchar_t* purpose, const wchar_t* src) const {
  // The digest is one-way, so a text the conversion has to repair still
  // gives a usable code: no failure for unpaired surrogates here.
  std::optional<std::string> text = narrowText(CP_UTF8, 0, src);
  if (!text) {
    m_logger->error("CFrameworkController:Encode(%S): fail to convert src", purpose);
    return {};
  }

  // Declared before the hash, so the hash is destroyed first.
  CryptProvider provider;
  if (!::CryptAcquireContextW(provider.put(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
    m_logger->error("CFrameworkController:Encode(%S): CryptAcquireContext %s", purpose,
                    StatusText::lastError().c_str());
    return {};
  }
  if (!provider) {
    m_logger->error("CFrameworkController:Encode(%S): CryptAcquireContext unknown failure", purpose);
    return {};
  }

  CryptHash hash;
  if (!::CryptCreateHash(provider.get(), CALG_MD5, 0, 0, hash.put())) {
    m_logger->error("CFrameworkController:Encode(%S): CryptCreateHash %s", purpose,
                    StatusText::lastError().c_str());
    return {};
  }
  if (!hash) {
    m_logger->error("CFrameworkController:Encode(%S): CryptCreateHash unknown failure", purpose);
    return {};
  }

  if (!::CryptHashData(hash.get(), reinterpret_cast<const BYTE*>(text->data()),
                       static_cast<DWORD>(text->size()), 0)) {
    m_logger->error("CFrameworkController:Encode(%S): CryptHashData %s", purpose,
                    StatusText::lastError().c_str());
    return {};
  }

  DWORD digestSize = 0;
  DWORD fieldSize = sizeof digestSize;
  if (!::CryptGetHashParam(hash.get(), HP_HASHSIZE, reinterpret_cast<BYTE*>(&digestSize), &fieldSize, 0)) {
    m_logger->error("CFrameworkController:Encode(%S): CryptGetHashParam(HASHSIZE) %s", purpose,
                    StatusText::lastError().c_str());
    return {};
  }
  // One byte more than needed keeps the buffer non-null even for a size of
  // 0, which would otherwise turn the next call into a size query.
  std::vector<BYTE> digest(static_cast<std::size_t>(digestSize) + 1);
  DWORD digestLength = digestSize;
  if (!::CryptGetHashParam(hash.get(), HP_HASHVAL, digest.data(), &digestLength, 0)) {
    m_logger->error("CFrameworkController:Encode(%S): CryptGetHashParam(HASHVAL) %s", purpose,
                    StatusText::lastError().c_str());
    return {};
  }

  const RegFlagValue value(kLogInFlag,
                           std::make_unique<RegRawValue>(digest.data(), static_cast<int>(digestLength)));
  RegBuf encoded;
  value.write_value(encoded);
  std::string code;
  hex_append(code, encoded.data(), encoded.length());
  return codeText(code);
}

Bstr ProtectedValueCodec::encodeProxy(const wchar_t* purpose, const wchar_t* src) const {
  // Refused rather than repaired: a code must give back the text it was
  // made from.
  const std::optional<std::string> text = narrowText(CP_UTF8, WC_ERR_INVALID_CHARS, src);
  if (!text) {
    m_logger->error("CFrameworkController:Encode(%S): fail to convert src", purpose);
    return {};
  }
  const int n = static_cast<int>(text->size());
  const int length = base64_encode(text->data(), n, nullptr, 0, false);
  if (length < 0) {
    // Longer than any text can be.
    m_logger->error("CFrameworkController:Encode(%S): fail to convert src", purpose);
    return {};
  }
  std::string code(static_cast<std::size_t>(length), '\0');
  base64_encode(text->data(), n, code.data(), length, false);
  return codeText(code);
}

Bstr ProtectedValueCodec::encodeAccess(const wchar_t* purpose, const wchar_t* src) const {
  // Refused rather than repaired, as for "Proxy".
  std::optional<std::string> text = narrowText(CP_UTF8, WC_ERR_INVALID_CHARS, src);
  // Two digits a byte and the two '0' must still fit a text's length.
  if (!text || text->size() > static_cast<std::size_t>(INT_MAX / 2 - 1)) {
    m_logger->error("CFrameworkController:Encode(%S): fail to convert src", purpose);
    return {};
  }
  if (text->empty()) return codeText({});
  // Every call starts the keystream afresh from the vector, so equal texts
  // give equal codes.
  m_accessCipher.applyOfb64(kAccessIv, bytesOf(*text));
  std::string code("0");
  hex_append(code, text->data(), static_cast<int>(text->size()));
  code += '0';
  return codeText(code);
}

Bstr ProtectedValueCodec::decodeProxy(const wchar_t* purpose, const wchar_t* src) const {
  const std::optional<std::string> code = narrowText(CP_THREAD_ACP, 0, src);
  if (!code) {
    m_logger->error("CFrameworkController:Decode(%S): fail to convert src", purpose);
    return {};
  }
  const int n = static_cast<int>(code->size());
  // Room for the most the decoder may write, and never a null buffer.
  std::string bytes(static_cast<std::size_t>(n) / 4 * 3 + 3, '\0');
  const int decoded = base64_decode(code->data(), n, bytes.data(), static_cast<int>(bytes.size()));
  bytes.resize(decoded > 0 ? static_cast<std::size_t>(decoded) : 0);
  return Bstr::fromUtf8(bytes);
}

Bstr ProtectedValueCodec::decodeAccess(const wchar_t* purpose, const wchar_t* src) const {
  const std::optional<std::string> code = narrowText(CP_THREAD_ACP, 0, src);
  if (!code) {
    m_logger->error("CFrameworkController:Decode(%S): fail to convert src", purpose);
    return {};
  }
  if (code->empty()) return codeText({});
  if (code->size() < 2 || code->front() != '0' || code->back() != '0') {
    m_logger->error("CFrameworkController:Decode(%S): unknown coding scheme", purpose);
    return {};
  }

  // A middle part that is not whole pairs of hexadecimal digits gives no
  // bytes, and so the empty text: there is no integrity check to fail.
  const std::string_view middle = std::string_view(*code).substr(1, code->size() - 2);
  std::string bytes;
  if (middle.size() % 2 == 0 && !middle.empty()) {
    bytes.resize(middle.size() / 2);
    const int decoded = hex_decode(middle.data(), static_cast<int>(middle.size()), bytes.data(),
                                   static_cast<int>(bytes.size()));
    bytes.resize(decoded > 0 ? static_cast<std::size_t>(decoded) : 0);
  }
  m_accessCipher.applyOfb64(kAccessIv, bytesOf(bytes));
  return Bstr::fromUtf8(bytes);
}
