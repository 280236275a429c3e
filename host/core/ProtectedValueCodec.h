#pragma once
// The coding schemes of protected values: texts that pages store in the
// configuration or pass in URLs and messages without showing them in clear.
// The purpose name, compared without regard to case, picks the scheme:
//   "LogIn"        one-way: the MD5 digest of the UTF-8 text, as an encoded
//                  flag list (flag 1, the 16 digest bytes) in hexadecimal;
//                  46 characters, always starting 03150101010010
//   "Proxy"        the UTF-8 text in Base64 without '=' padding
//   "MirdexAccess" the UTF-8 text encrypted with Blowfish-OFB-64 under the
//                  program's fixed key and vector, in upper-case hexadecimal
//                  between a leading and a trailing '0'
// Every code is plain ASCII. Equal texts give equal codes.
//
// A failure gives a null string and one error line on the "controller"
// logger, written as the controller's Encode and Decode report them. Members
// are const and may be called from any thread; they raise only
// std::bad_alloc.
#include "Blowfish.h"
#include "Bstr.h"

class Logger;

class ProtectedValueCodec {
public:
  ProtectedValueCodec();

  // The code of src for the purpose. Both texts end at their first NUL;
  // a null one is refused.
  Bstr encode(const wchar_t* purpose, const wchar_t* src) const;
  // The text of a code; "LogIn" codes cannot be decoded.
  Bstr decode(const wchar_t* purpose, const wchar_t* src) const;

private:
  enum class Scheme { LogIn, Proxy, MirdexAccess, Unsupported };
  static Scheme schemeOf(const wchar_t* purpose) noexcept;

  Bstr encodeLogIn(const wchar_t* purpose, const wchar_t* src) const;
  Bstr encodeProxy(const wchar_t* purpose, const wchar_t* src) const;
  Bstr encodeAccess(const wchar_t* purpose, const wchar_t* src) const;
  Bstr decodeProxy(const wchar_t* purpose, const wchar_t* src) const;
  Bstr decodeAccess(const wchar_t* purpose, const wchar_t* src) const;

  Logger* m_logger;
  Blowfish m_accessCipher;
};
