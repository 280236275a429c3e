#pragma once
// printf-style formatting of log messages into a LogBuffer.
//
// The library formats each conversion itself instead of handing the whole
// format to the C runtime, for three reasons:
// - wide strings ("%S", "%ls", "%ws") and wide characters ("%C", "%lc") are
//   converted to the calling thread's ANSI code page, as every text given to
//   the library is; the runtimes convert them through the C locale instead
//   and silently drop the rest of the message at the first character that
//   locale cannot show;
// - "%n" writes nothing (its pointer is consumed and ignored), so no message
//   can write to memory through the library;
// - a long message grows the buffer instead of being cut at a fixed size.
//
// Accepted: flags "-+ #0", width and precision as digits or "*", the length
// modifiers hh h l ll L j z t and I I32 I64 w q, and the conversions
// d i o u x X c C s S p n e E f F g G a A and "%%". An unknown conversion is
// copied as it stands.
#include "LogBuffer.h"

#include <cstdarg>

class LogFormatter {
public:
  static void format(LogBuffer& out, const char* format, va_list args) noexcept;
};
