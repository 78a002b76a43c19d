// platform/format.cpp: the printf-style engine behind both FormatV forms.
//
// One template serves narrow and wide formats. The format is read once:
// literal text and each conversion go straight into a sink that counts every
// character and stores only those that fit, so counting mode and bounded
// mode are the same walk. Integers are converted here; floating-point
// numbers and their digits are left to the C library's snprintf (its
// rounding is the reference) and only padded here. Text of the other width
// goes through the ANSI code page.
#include <korvo/platform/codepage.h>
#include <korvo/platform/format.h>
#include <korvo/platform/format_internal.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <type_traits>

namespace korvo::platform {
namespace {

// Holds up to N elements on the stack and larger sizes on the heap.
template <typename T, size_t N>
class ScratchBuffer {
 public:
  T* Reserve(size_t n) {
    if (n <= N) return local_;
    heap_ = std::make_unique<T[]>(n);
    return heap_.get();
  }

 private:
  T local_[N];
  std::unique_ptr<T[]> heap_;
};

// Counts every character offered and stores those that fit before the
// terminator's place.
template <typename Ch>
class Sink {
 public:
  Sink(Ch* out, size_t capacity)
      : out_(capacity != 0 ? out : nullptr), limit_(out_ != nullptr ? capacity - 1 : 0) {}

  void Put(Ch c) {
    if (pos_ < limit_) out_[pos_] = c;
    ++pos_;
  }

  // `Src` is Ch, or char for the ASCII text of numbers.
  template <typename Src>
  void Put(const Src* s, size_t n) {
    if (pos_ < limit_ && n != 0) {  // s may be null when n is 0
      size_t k = std::min(n, limit_ - pos_);
      if constexpr (std::is_same_v<Src, Ch>) {
        std::memcpy(out_ + pos_, s, k * sizeof(Ch));
      } else {
        for (size_t i = 0; i < k; ++i) out_[pos_ + i] = static_cast<Ch>(s[i]);
      }
    }
    pos_ += n;
  }

  void Fill(Ch c, size_t n) {
    if (pos_ < limit_) std::fill_n(out_ + pos_, std::min(n, limit_ - pos_), c);
    pos_ += n;
  }

  // An output too long for an int count fails like a bad format.
  int Finish() {
    if (pos_ > static_cast<size_t>(INT_MAX)) return Fail();
    if (out_ != nullptr) out_[std::min(pos_, limit_)] = 0;
    return static_cast<int>(pos_);
  }

  // Any negative result leaves the empty text.
  int Fail() {
    if (out_ != nullptr) out_[0] = 0;
    return -1;
  }

 private:
  Ch* out_;
  size_t limit_;
  size_t pos_ = 0;
};

enum class Length { kNone, kHH, kH, kL, kLL, kLongDouble, kSize, kIntMax, kPtrDiff, kI32, kI64 };

struct Conversion {
  bool left = false;
  bool plus = false;
  bool space = false;
  bool alt = false;
  bool zero = false;
  size_t width = 0;
  bool hasPrecision = false;
  size_t precision = 0;
  Length length = Length::kNone;
  char letter = 0;  // d, s, f, ...
};

// Reads a decimal field (width, precision) of a conversion; false when it exceeds INT_MAX.
template <typename Ch>
bool ReadNumber(const Ch*& p, size_t& value) {
  value = 0;
  while (*p >= '0' && *p <= '9') {
    value = value * 10 + static_cast<size_t>(*p - '0');
    if (value > static_cast<size_t>(INT_MAX)) return false;
    ++p;
  }
  return true;
}

// Parses the conversion after a '%'. `*` fields take their int from the
// arguments as they are met, as the C library does.
template <typename Ch, typename Args>
bool ParseConversion(const Ch*& p, Conversion& conv, Args& args) {
  for (;; ++p) {
    if (*p == '-') {
      conv.left = true;
    } else if (*p == '+') {
      conv.plus = true;
    } else if (*p == ' ') {
      conv.space = true;
    } else if (*p == '#') {
      conv.alt = true;
    } else if (*p == '0') {
      conv.zero = true;
    } else {
      break;
    }
  }
  if (*p == '*') {
    ++p;
    long long w = args.template Next<int>();
    if (w < 0) {
      conv.left = true;
      w = -w;
    }
    conv.width = static_cast<size_t>(w);
  } else if (!ReadNumber(p, conv.width)) {
    return false;
  }
  if (*p == '.') {
    ++p;
    if (*p == '*') {
      ++p;
      int prec = args.template Next<int>();
      conv.hasPrecision = prec >= 0;
      conv.precision = prec >= 0 ? static_cast<size_t>(prec) : 0;
    } else {
      conv.hasPrecision = true;
      if (!ReadNumber(p, conv.precision)) return false;
    }
  }
  switch (*p) {
    case 'h':
      ++p;
      conv.length = Length::kH;
      if (*p == 'h') {
        ++p;
        conv.length = Length::kHH;
      }
      break;
    case 'l':
      ++p;
      conv.length = Length::kL;
      if (*p == 'l') {
        ++p;
        conv.length = Length::kLL;
      }
      break;
    case 'L':
      ++p;
      conv.length = Length::kLongDouble;
      break;
    case 'z':
      ++p;
      conv.length = Length::kSize;
      break;
    case 'j':
      ++p;
      conv.length = Length::kIntMax;
      break;
    case 't':
      ++p;
      conv.length = Length::kPtrDiff;
      break;
    case 'I':
      ++p;
      conv.length = Length::kSize;
      if (p[0] == '6' && p[1] == '4') {
        p += 2;
        conv.length = Length::kI64;
      } else if (p[0] == '3' && p[1] == '2') {
        p += 2;
        conv.length = Length::kI32;
      }
      break;
    default:
      break;
  }
  // A conversion character outside ASCII (wide formats) is unknown too.
  auto c = static_cast<std::make_unsigned_t<Ch>>(*p);
  if (c == 0 || c > 127) return false;
  ++p;
  conv.letter = static_cast<char>(c);
  return true;
}

// size_t, intmax_t and ptrdiff_t are all `long` on this platform, which
// keeps the set of argument types the engine asks for small.
static_assert(sizeof(size_t) == sizeof(long) && sizeof(intmax_t) == sizeof(long) &&
              sizeof(ptrdiff_t) == sizeof(long));

// Reads a signed integer argument of the conversion's length; false for a
// length that does not apply to integers.
template <typename Args>
bool ReadSigned(Args& args, Length length, long long& value) {
  switch (length) {
    case Length::kNone:
    case Length::kI32:
      value = args.template Next<int>();
      return true;
    case Length::kHH:
      value = static_cast<signed char>(args.template Next<int>());
      return true;
    case Length::kH:
      value = static_cast<short>(args.template Next<int>());
      return true;
    case Length::kL:
    case Length::kSize:
    case Length::kIntMax:
    case Length::kPtrDiff:
      value = args.template Next<long>();
      return true;
    case Length::kLL:
    case Length::kI64:
      value = args.template Next<long long>();
      return true;
    case Length::kLongDouble:
      return false;
  }
  return false;
}

template <typename Args>
bool ReadUnsigned(Args& args, Length length, unsigned long long& value) {
  switch (length) {
    case Length::kNone:
    case Length::kI32:
      value = static_cast<unsigned>(args.template Next<int>());
      return true;
    case Length::kHH:
      value = static_cast<unsigned char>(args.template Next<int>());
      return true;
    case Length::kH:
      value = static_cast<unsigned short>(args.template Next<int>());
      return true;
    case Length::kL:
    case Length::kSize:
    case Length::kIntMax:
    case Length::kPtrDiff:
      value = static_cast<unsigned long>(args.template Next<long>());
      return true;
    case Length::kLL:
    case Length::kI64:
      value = static_cast<unsigned long long>(args.template Next<long long>());
      return true;
    case Length::kLongDouble:
      return false;
  }
  return false;
}

// Pads `bodyLength` characters of output to the conversion's width: spaces before
// (or after, left-justified) what `emitBody` writes.
template <typename Ch, typename Body>
void Padded(Sink<Ch>& sink, const Conversion& conv, size_t bodyLength, Body&& emitBody) {
  size_t pad = conv.width > bodyLength ? conv.width - bodyLength : 0;
  if (!conv.left) sink.Fill(' ', pad);
  emitBody();
  if (conv.left) sink.Fill(' ', pad);
}

// d i u o x X p. `showSign` says whether + and space apply (signed
// conversions, and %p as in the C library).
template <typename Ch>
void EmitInteger(Sink<Ch>& sink, const Conversion& conv, unsigned long long magnitude,
                 bool negative, bool showSign) {
  bool is_zero = magnitude == 0;
  char digits[24];
  char* end = digits + sizeof digits;
  char* first = end;
  unsigned base = 10;
  const char* alphabet = "0123456789abcdef";
  switch (conv.letter) {
    case 'o':
      base = 8;
      break;
    case 'x':
    case 'p':
      base = 16;
      break;
    case 'X':
      base = 16;
      alphabet = "0123456789ABCDEF";
      break;
    default:
      break;
  }
  // A zero with precision 0 has no digits at all.
  if (magnitude != 0 || !conv.hasPrecision || conv.precision != 0) {
    do {
      *--first = alphabet[magnitude % base];
      magnitude /= base;
    } while (magnitude != 0);
  }
  size_t ndigits = static_cast<size_t>(end - first);

  char prefix[3];
  size_t prefix_length = 0;
  if (negative) {
    prefix[prefix_length++] = '-';
  } else if (showSign && conv.plus) {
    prefix[prefix_length++] = '+';
  } else if (showSign && conv.space) {
    prefix[prefix_length++] = ' ';
  }
  if (conv.alt && base == 16 && !is_zero) {
    prefix[prefix_length++] = '0';
    prefix[prefix_length++] = conv.letter == 'X' ? 'X' : 'x';
  }

  size_t zeros = 0;
  if (conv.hasPrecision) {
    if (conv.precision > ndigits) zeros = conv.precision - ndigits;
  } else if (conv.zero && !conv.left && conv.width > prefix_length + ndigits) {
    zeros = conv.width - prefix_length - ndigits;
  }
  // '#' with octal: the first digit printed is a 0.
  if (conv.alt && base == 8 && zeros == 0 && (ndigits == 0 || *first != '0')) zeros = 1;

  Padded(sink, conv, prefix_length + zeros + ndigits, [&] {
    sink.Put(prefix, prefix_length);
    sink.Fill('0', zeros);
    sink.Put(first, ndigits);
  });
}

// Beyond this precision every double and long double is exact, so the
// C library only appends zeros; they are appended here instead so that a
// huge precision costs no huge buffer.
constexpr size_t kExactPrecision = 17000;

// f F e E g G a A: the C library makes the digits, then width is applied
// here (zeros go after the sign and the 0x of %a, as snprintf puts them).
template <typename Ch, typename Args>
bool EmitFloat(Sink<Ch>& sink, const Conversion& conv, Args& args) {
  long double value;
  if (conv.length == Length::kLongDouble) {
    value = args.template Next<long double>();
  } else if (conv.length == Length::kNone || conv.length == Length::kL) {
    value = args.template Next<double>();
  } else {
    return false;
  }

  bool finite = std::isfinite(value);
  size_t precision = conv.precision;
  size_t extra_zeros = 0;
  if (conv.hasPrecision && precision > kExactPrecision) {
    bool keeps_trailing_zeros = conv.alt || (conv.letter != 'g' && conv.letter != 'G');
    if (finite && keeps_trailing_zeros) extra_zeros = precision - kExactPrecision;
    precision = kExactPrecision;
  }

  char c_format[12];
  char* s = c_format;
  *s++ = '%';
  if (conv.plus) *s++ = '+';
  if (conv.space) *s++ = ' ';
  if (conv.alt) *s++ = '#';
  if (conv.hasPrecision) {
    *s++ = '.';
    *s++ = '*';
  }
  if (conv.length == Length::kLongDouble) *s++ = 'L';
  *s++ = conv.letter;
  *s = 0;

  auto print = [&](char* buffer, size_t size) {
    int prec = static_cast<int>(precision);
    if (conv.length == Length::kLongDouble) {
      return conv.hasPrecision ? snprintf(buffer, size, c_format, prec, value)
                               : snprintf(buffer, size, c_format, value);
    }
    double d = static_cast<double>(value);
    return conv.hasPrecision ? snprintf(buffer, size, c_format, prec, d)
                             : snprintf(buffer, size, c_format, d);
  };
  ScratchBuffer<char, 128> scratch;
  char* text = scratch.Reserve(128);
  int n = print(text, 128);
  if (n < 0) return false;
  if (n >= 128) {
    text = scratch.Reserve(static_cast<size_t>(n) + 1);
    print(text, static_cast<size_t>(n) + 1);
  }
  size_t length = static_cast<size_t>(n);

  size_t head = 0;       // sign and 0x: zero padding goes after them
  size_t tail = length;  // exponent: extra precision zeros go before it
  if (finite) {
    if (text[0] == '-' || text[0] == '+' || text[0] == ' ') ++head;
    if (conv.letter == 'a' || conv.letter == 'A') head += 2;
    const char* exponent = "eE";
    if (conv.letter == 'a' || conv.letter == 'A') exponent = "pP";
    if (conv.letter != 'f' && conv.letter != 'F') {
      const char* e = static_cast<const char*>(std::memchr(text, exponent[0], length));
      if (e == nullptr) e = static_cast<const char*>(std::memchr(text, exponent[1], length));
      if (e != nullptr) tail = static_cast<size_t>(e - text);
    }
  }
  size_t body = length + extra_zeros;
  size_t zeros = 0;
  if (finite && conv.zero && !conv.left && conv.width > body) zeros = conv.width - body;

  Padded(sink, conv, body + zeros, [&] {
    sink.Put(text, head);
    sink.Fill('0', zeros);
    sink.Put(text + head, tail - head);
    sink.Fill('0', extra_zeros);
    sink.Put(text + tail, length - tail);
  });
  return true;
}

// Text conversion of `n` units of the other width through the ANSI code
// page; returns the converted length. Each byte gives at most one UTF-16
// unit and each unit at most four bytes in the code pages iconv knows, so
// one call usually does; the counting call is the fallback.
size_t ConvertText(const char* s, size_t n, ScratchBuffer<WCHAR, 256>& scratch, WCHAR*& out) {
  int count = static_cast<int>(n);
  out = scratch.Reserve(n);
  int written = MultiByteToWideChar(CP_ACP, 0, s, count, out, count);
  if (written > 0) return static_cast<size_t>(written);
  int needed = MultiByteToWideChar(CP_ACP, 0, s, count, nullptr, 0);
  if (needed <= 0) return 0;
  out = scratch.Reserve(static_cast<size_t>(needed));
  written = MultiByteToWideChar(CP_ACP, 0, s, count, out, needed);
  return written > 0 ? static_cast<size_t>(written) : 0;
}

size_t ConvertText(const WCHAR* s, size_t n, ScratchBuffer<char, 256>& scratch, char*& out) {
  int count = static_cast<int>(n);
  size_t guess = n * 4;
  out = scratch.Reserve(guess);
  int written =
      WideCharToMultiByte(CP_ACP, 0, s, count, out, static_cast<int>(guess), nullptr, nullptr);
  if (written > 0) return static_cast<size_t>(written);
  int needed = WideCharToMultiByte(CP_ACP, 0, s, count, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return 0;
  out = scratch.Reserve(static_cast<size_t>(needed));
  written = WideCharToMultiByte(CP_ACP, 0, s, count, out, needed, nullptr, nullptr);
  return written > 0 ? static_cast<size_t>(written) : 0;
}

// Writes `n` units of text of the argument's width `Src`, padded to the
// width (with spaces: the C library ignores '0' for text).
template <typename Ch, typename Src>
bool EmitText(Sink<Ch>& sink, const Conversion& conv, const Src* s, size_t n) {
  if constexpr (std::is_same_v<Src, Ch>) {
    Padded(sink, conv, n, [&] { sink.Put(s, n); });
  } else {
    if (n > static_cast<size_t>(INT_MAX) / 4) return false;
    ScratchBuffer<Ch, 256> scratch;
    Ch* converted = nullptr;
    size_t length = n == 0 ? 0 : ConvertText(s, n, scratch, converted);
    Padded(sink, conv, length, [&] { sink.Put(converted, length); });
  }
  return true;
}

template <typename Src>
size_t BoundedLength(const Src* s, const Conversion& conv) {
  size_t limit = conv.hasPrecision ? conv.precision : SIZE_MAX;
  size_t n = 0;
  while (n < limit && s[n] != 0) ++n;
  return n;
}

// s S c C: which width of argument the conversion takes.
template <typename Ch>
bool TakesNarrowText(const Conversion& conv, bool& narrow) {
  switch (conv.length) {
    case Length::kH:
      narrow = true;
      return true;
    case Length::kL:
      narrow = false;
      return true;
    case Length::kNone: {
      bool lower = conv.letter == 's' || conv.letter == 'c';
      narrow = lower == std::is_same_v<Ch, char>;
      return true;
    }
    default:
      return false;
  }
}

template <typename Ch, typename Src, typename Args>
bool EmitString(Sink<Ch>& sink, const Conversion& conv, Args& args) {
  const Src* s = args.template Next<const Src*>();
  if (s == nullptr) {
    // The C library prints nothing rather than part of "(null)".
    static constexpr char kNull[] = "(null)";
    size_t n = conv.hasPrecision && conv.precision < 6 ? 0 : 6;
    Padded(sink, conv, n, [&] { sink.Put(kNull, n); });
    return true;
  }
  return EmitText(sink, conv, s, BoundedLength(s, conv));
}

template <typename Ch, typename Args>
bool EmitConversion(Sink<Ch>& sink, const Conversion& conv, Args& args) {
  switch (conv.letter) {
    case 'd':
    case 'i': {
      long long v;
      if (!ReadSigned(args, conv.length, v)) return false;
      unsigned long long magnitude =
          v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
      EmitInteger(sink, conv, magnitude, v < 0, true);
      return true;
    }
    case 'u':
    case 'o':
    case 'x':
    case 'X': {
      unsigned long long v;
      if (!ReadUnsigned(args, conv.length, v)) return false;
      EmitInteger(sink, conv, v, false, false);
      return true;
    }
    case 'p': {
      if (conv.length != Length::kNone) return false;
      const void* p = args.template Next<const void*>();
      if (p == nullptr) {
        Padded(sink, conv, 5, [&] { sink.Put("(nil)", 5); });
      } else {
        // The C library's %p is %#lx that keeps the + and space flags.
        Conversion hex = conv;
        hex.alt = true;
        EmitInteger(sink, hex, reinterpret_cast<uintptr_t>(p), false, true);
      }
      return true;
    }
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
      return EmitFloat(sink, conv, args);
    case 'c':
    case 'C': {
      bool narrow;
      if (!TakesNarrowText<Ch>(conv, narrow)) return false;
      int v = args.template Next<int>();
      if (narrow) {
        char c = static_cast<char>(v);
        return EmitText(sink, conv, &c, 1);
      }
      WCHAR c = static_cast<WCHAR>(v);
      return EmitText(sink, conv, &c, 1);
    }
    case 's':
    case 'S': {
      bool narrow;
      if (!TakesNarrowText<Ch>(conv, narrow)) return false;
      return narrow ? EmitString<Ch, char>(sink, conv, args)
                    : EmitString<Ch, WCHAR>(sink, conv, args);
    }
    case '%':
      sink.Put('%');
      return true;
    default:
      // Unknown conversions, and %n: nothing may be written through an
      // argument.
      return false;
  }
}

template <typename Ch, typename Args>
int Run(Ch* out, size_t capacity, const Ch* format, Args& args) {
  Sink<Ch> sink(out, capacity);
  if (format == nullptr) return sink.Fail();
  const Ch* p = format;
  for (;;) {
    const Ch* literal = p;
    while (*p != 0 && *p != '%') ++p;
    sink.Put(literal, static_cast<size_t>(p - literal));
    if (*p == 0) break;
    ++p;
    Conversion conv;
    if (!ParseConversion(p, conv, args) || !EmitConversion(sink, conv, args)) return sink.Fail();
  }
  return sink.Finish();
}

class VaListArgs {
 public:
  explicit VaListArgs(va_list args) { va_copy(args_, args); }
  ~VaListArgs() { va_end(args_); }
  VaListArgs(const VaListArgs&) = delete;
  VaListArgs& operator=(const VaListArgs&) = delete;

  template <typename T>
  T Next() {
    return va_arg(args_, T);
  }

 private:
  va_list args_;
};

class FixedArgs {
 public:
  explicit FixedArgs(TEST_FormatArgs& values) : values_(values) {}

  template <typename T>
  T Next() {
    ++values_.reads;
    if constexpr (std::is_integral_v<T>) {
      if (values_.integerCount == 0) return 0;
      return static_cast<T>(values_.integers[nextInteger_++ % values_.integerCount]);
    } else if constexpr (std::is_floating_point_v<T>) {
      if (values_.floatCount == 0) return 0;
      return static_cast<T>(values_.floats[nextFloat_++ % values_.floatCount]);
    } else if constexpr (std::is_same_v<T, const char*>) {
      return values_.narrowText;
    } else if constexpr (std::is_same_v<T, const WCHAR*>) {
      return values_.wideText;
    } else {
      static_assert(std::is_same_v<T, const void*>);
      return values_.pointer;
    }
  }

 private:
  TEST_FormatArgs& values_;
  size_t nextInteger_ = 0;
  size_t nextFloat_ = 0;
};

}  // namespace

int FormatV(char* out, size_t capacity, const char* format, va_list args) {
  VaListArgs source(args);
  return Run(out, capacity, format, source);
}

int FormatV(WCHAR* out, size_t capacity, const WCHAR* format, va_list args) {
  VaListArgs source(args);
  return Run(out, capacity, format, source);
}

int Format(char* out, size_t capacity, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = FormatV(out, capacity, format, args);
  va_end(args);
  return n;
}

int Format(WCHAR* out, size_t capacity, const WCHAR* format, ...) {
  va_list args;
  va_start(args, format);
  int n = FormatV(out, capacity, format, args);
  va_end(args);
  return n;
}

int TEST_FormatFixed(char* out, size_t capacity, const char* format, TEST_FormatArgs& args) {
  FixedArgs source(args);
  return Run(out, capacity, format, source);
}

int TEST_FormatFixed(WCHAR* out, size_t capacity, const WCHAR* format, TEST_FormatArgs& args) {
  FixedArgs source(args);
  return Run(out, capacity, format, source);
}

}  // namespace korvo::platform
