#include "LogFormatter.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

enum class Length { None, Char, Short, Long, LongLong, IntMax, Size, PtrDiff, LongDouble, Wide, Int32 };

// Widths and precisions beyond the longest line cannot matter.
constexpr int kMaxField = static_cast<int>(LogBuffer::kMaxSize);

struct Directive {
  char flags[6] = {};
  int flagCount = 0;
  int width = -1;
  int precision = -1;
  Length length = Length::None;

  void addFlag(char flag) noexcept {
    if (flagCount < 5) flags[flagCount++] = flag;
  }
};

const char* parseNumber(const char* p, int& value) noexcept {
  value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (value < kMaxField) value = value * 10 + (*p - '0');
  }
  value = std::min(value, kMaxField);
  return p;
}

const char* parseLength(const char* p, Length& length) noexcept {
  switch (*p) {
    case 'h':
      if (p[1] == 'h') {
        length = Length::Char;
        return p + 2;
      }
      length = Length::Short;
      return p + 1;
    case 'l':
      if (p[1] == 'l') {
        length = Length::LongLong;
        return p + 2;
      }
      length = Length::Long;
      return p + 1;
    case 'q': length = Length::LongLong; return p + 1;
    case 'L': length = Length::LongDouble; return p + 1;
    case 'j': length = Length::IntMax; return p + 1;
    case 'z': length = Length::Size; return p + 1;
    case 't': length = Length::PtrDiff; return p + 1;
    case 'w': length = Length::Wide; return p + 1;
    case 'I':
      if (p[1] == '6' && p[2] == '4') {
        length = Length::LongLong;
        return p + 3;
      }
      if (p[1] == '3' && p[2] == '2') {
        length = Length::Int32;
        return p + 3;
      }
      length = Length::Size;
      return p + 1;
    default:
      return p;
  }
}

// The arguments are taken through a pointer to the caller's list, which lets
// the caller go on with the following arguments.
long long takeSigned(va_list* args, Length length) noexcept {
  switch (length) {
    case Length::Char: return static_cast<signed char>(va_arg(*args, int));
    case Length::Short: return static_cast<short>(va_arg(*args, int));
    case Length::Long: return va_arg(*args, long);
    case Length::LongLong: return va_arg(*args, long long);
    case Length::IntMax: return va_arg(*args, std::intmax_t);
    case Length::Size:
    case Length::PtrDiff: return va_arg(*args, std::ptrdiff_t);
    default: return va_arg(*args, int);
  }
}

unsigned long long takeUnsigned(va_list* args, Length length) noexcept {
  switch (length) {
    case Length::Char: return static_cast<unsigned char>(va_arg(*args, int));
    case Length::Short: return static_cast<unsigned short>(va_arg(*args, int));
    case Length::Long: return va_arg(*args, unsigned long);
    case Length::LongLong: return va_arg(*args, unsigned long long);
    case Length::IntMax: return va_arg(*args, std::uintmax_t);
    case Length::Size: return va_arg(*args, std::size_t);
    case Length::PtrDiff: return static_cast<std::size_t>(va_arg(*args, std::ptrdiff_t));
    default: return va_arg(*args, unsigned);
  }
}

// One conversion handed to the C runtime, with the length modifier the
// value now has; the buffer grows to what the runtime says it needs.
template <typename T>
void emit(LogBuffer& out, const Directive& directive, const char* length, char conversion, T value) noexcept {
  char width[16] = "";
  if (directive.width >= 0) std::snprintf(width, sizeof width, "%d", directive.width);
  char precision[16] = "";
  if (directive.precision >= 0) std::snprintf(precision, sizeof precision, ".%d", directive.precision);
  char format[48];
  std::snprintf(format, sizeof format, "%%%s%s%s%s%c", directive.flags, width, precision, length, conversion);

  std::size_t wanted = 32;
  for (;;) {
    const std::size_t room = out.prepare(wanted);
    const int needed = std::snprintf(out.end(), room + 1, format, value);
    if (needed < 0) return;
    const auto size = static_cast<std::size_t>(needed);
    if (size <= room) {
      out.commit(size);
      return;
    }
    if (wanted >= size) {
      // No more room to be had: keep what was written.
      out.commit(room);
      out.markTruncated();
      return;
    }
    wanted = size;
  }
}

void emitNarrow(LogBuffer& out, const Directive& directive, const char* text) noexcept {
  if (!text) text = "(null)";
  if (directive.width < 0 && directive.precision < 0) {
    out.append(text);
    return;
  }
  emit(out, directive, "", 's', text);
}

void emitWide(LogBuffer& out, const Directive& directive, const wchar_t* text, std::size_t length) noexcept {
  if (length > LogBuffer::kMaxSize) {
    length = LogBuffer::kMaxSize;
    out.markTruncated();
  }
  const int wideLength = static_cast<int>(length);
  const int bytes = wideLength == 0
      ? 0
      : ::WideCharToMultiByte(CP_THREAD_ACP, 0, text, wideLength, nullptr, 0, nullptr, nullptr);
  if (bytes < 0 || (wideLength != 0 && bytes == 0)) return;

  char small[256];
  std::unique_ptr<char[]> large;
  char* narrow = small;
  if (static_cast<std::size_t>(bytes) >= sizeof small) {
    large.reset(new (std::nothrow) char[static_cast<std::size_t>(bytes) + 1]);
    if (!large) {
      out.markTruncated();
      return;
    }
    narrow = large.get();
  }
  if (bytes != 0) ::WideCharToMultiByte(CP_THREAD_ACP, 0, text, wideLength, narrow, bytes, nullptr, nullptr);
  narrow[bytes] = '\0';
  emitNarrow(out, directive, narrow);
}

void emitWideString(LogBuffer& out, const Directive& directive, const wchar_t* text) noexcept {
  if (!text) {
    emitNarrow(out, directive, nullptr);
    return;
  }
  // A precision limits the bytes written; each wide character gives at least
  // one, so no more characters than that need converting.
  const std::size_t limit =
      directive.precision >= 0 ? static_cast<std::size_t>(directive.precision) : LogBuffer::kMaxSize + 1;
  std::size_t length = 0;
  while (length < limit && text[length] != L'\0') ++length;
  emitWide(out, directive, text, length);
}

void emitWideChar(LogBuffer& out, Directive directive, wchar_t c) noexcept {
  directive.precision = -1;
  emitWide(out, directive, &c, 1);
}

}  // namespace

void LogFormatter::format(LogBuffer& out, const char* format, va_list args) noexcept {
  if (!format) {
    out.append("(null)");
    return;
  }
  va_list ap;
  va_copy(ap, args);

  const char* p = format;
  while (*p) {
    const char* percent = std::strchr(p, '%');
    if (!percent) {
      out.append(p);
      break;
    }
    out.append(std::string_view(p, static_cast<std::size_t>(percent - p)));
    p = percent + 1;
    if (*p == '%') {
      out.append('%');
      ++p;
      continue;
    }

    Directive directive;
    for (; *p && std::strchr("-+ #0", *p); ++p) directive.addFlag(*p);
    if (*p == '*') {
      const int width = va_arg(ap, int);
      if (width < 0) directive.addFlag('-');
      directive.width = width < 0 ? (width < -kMaxField ? kMaxField : -width) : std::min(width, kMaxField);
      ++p;
    } else {
      if (*p >= '0' && *p <= '9') p = parseNumber(p, directive.width);
    }
    if (*p == '.') {
      ++p;
      if (*p == '*') {
        const int precision = va_arg(ap, int);
        directive.precision = precision < 0 ? -1 : std::min(precision, kMaxField);
        ++p;
      } else {
        p = parseNumber(p, directive.precision);
      }
    }
    p = parseLength(p, directive.length);

    const char conversion = *p;
    if (conversion == '\0') {
      // The format ends inside a conversion: show what is there.
      out.append(percent);
      break;
    }
    ++p;

    const Length length = directive.length;
    const bool wide = length == Length::Long || length == Length::Wide;
    switch (conversion) {
      case 'd':
      case 'i':
        emit(out, directive, "ll", conversion, takeSigned(&ap, length));
        break;
      case 'o':
      case 'u':
      case 'x':
      case 'X':
        emit(out, directive, "ll", conversion, takeUnsigned(&ap, length));
        break;
      case 'c':
      case 'C':
        // "%C" is wide unless "h" makes it narrow; "%c" the other way round.
        if (conversion == 'C' ? length != Length::Short : wide) {
          emitWideChar(out, directive, static_cast<wchar_t>(va_arg(ap, int)));
        } else {
          emit(out, directive, "", 'c', va_arg(ap, int));
        }
        break;
      case 's':
      case 'S':
        if (conversion == 'S' ? length != Length::Short : wide) {
          emitWideString(out, directive, va_arg(ap, const wchar_t*));
        } else {
          emitNarrow(out, directive, va_arg(ap, const char*));
        }
        break;
      case 'p':
        emit(out, directive, "", 'p', va_arg(ap, void*));
        break;
      case 'n':
        // Never written through: the pointer is taken and ignored.
        (void)va_arg(ap, void*);
        break;
      case 'e':
      case 'E':
      case 'f':
      case 'F':
      case 'g':
      case 'G':
      case 'a':
      case 'A':
        if (length == Length::LongDouble) {
          emit(out, directive, "L", conversion, va_arg(ap, long double));
        } else {
          emit(out, directive, "", conversion, va_arg(ap, double));
        }
        break;
      default:
        out.append(std::string_view(percent, static_cast<std::size_t>(p - percent)));
        break;
    }
  }
  va_end(ap);
}
