// platform/codepage.cpp: Windows code-page conversion over iconv, with a
// direct UTF-8 <-> UTF-16 path (the ANSI code page is UTF-8 by default and
// every string conversion of the library comes through here).
//
// Replacement rules: malformed UTF-8 becomes U+FFFD, one per maximal
// ill-formed subsequence (what Windows does for CP_UTF8); an unpaired
// surrogate written as UTF-8 becomes U+FFFD too. For any other character set,
// bytes iconv cannot decode become '?' and characters it cannot encode
// become the default character ('?' unless the caller names one).
#include <iconv.h>
#include <korvo/platform/codepage.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "codepage_internal.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "WCHAR is converted as UTF-16LE");

namespace {

constexpr char kUtf16[] = "UTF-16LE";
constexpr char16_t kReplacement = 0xFFFD;

bool IsUtf8Name(const std::string& name) {
  std::string n;
  for (char c : name) {
    if (c != '-' && c != '_') n += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return n == "UTF8";
}

bool IconvKnows(const std::string& name) {
  iconv_t cd = ::iconv_open(kUtf16, name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  ::iconv_close(cd);
  return true;
}

// The code page in effect for CP_ACP or CP_OEMCP: the environment's choice
// when iconv knows it, else the default.
std::string ChooseCharset(const char* variable, const char* fallback) {
  const char* chosen = std::getenv(variable);
  if (chosen != nullptr && *chosen != '\0' && std::strlen(chosen) < 64 && IconvKnows(chosen)) {
    return chosen;
  }
  return fallback;
}

struct Charset {
  std::string name;
  bool utf8 = false;
};

const Charset& Ansi() {
  static const Charset ansi = [] {
    Charset c{ChooseCharset("KORVO_CODEPAGE", "UTF-8")};
    c.utf8 = IsUtf8Name(c.name);
    return c;
  }();
  return ansi;
}

const Charset& Oem() {
  static const Charset oem = [] {
    Charset c{ChooseCharset("KORVO_OEMCP", "CP437")};
    c.utf8 = IsUtf8Name(c.name);
    return c;
  }();
  return oem;
}

constexpr UINT kThreadAcp = 3;

// Resolves a Windows code-page number; other numbers than the symbolic ones
// are tried as iconv's "CP<n>". Null for a code page iconv does not know.
const Charset* Resolve(UINT codePage) {
  static const Charset utf8{"UTF-8", true};
  switch (codePage) {
    case CP_ACP:
    case kThreadAcp:
      return &Ansi();
    case CP_OEMCP:
      return &Oem();
    case CP_UTF8:
      return &utf8;
    default:
      break;
  }
  thread_local Charset other;
  char name[24];
  std::snprintf(name, sizeof name, "CP%u", codePage);
  if (other.name != name) {
    if (!IconvKnows(name)) return nullptr;
    other.name = name;
  }
  return &other;
}

// iconv descriptors are stateful and not thread-safe, so each thread keeps
// its own few, reused across calls.
class ConverterCache {
 public:
  ~ConverterCache() {
    for (Entry& e : entries_) {
      if (e.open) ::iconv_close(e.cd);
    }
  }
  // Null when iconv cannot convert between the two.
  iconv_t Get(const std::string& to, const std::string& from) {
    for (Entry& e : entries_) {
      if (e.open && e.to == to && e.from == from) {
        ::iconv(e.cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        return e.cd;
      }
    }
    iconv_t cd = ::iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
    Entry& slot = entries_[next_];
    next_ = (next_ + 1) % kSlots;
    if (slot.open) ::iconv_close(slot.cd);
    slot = Entry{to, from, cd, true};
    return cd;
  }

 private:
  struct Entry {
    std::string to, from;
    iconv_t cd{};
    bool open = false;
  };
  static constexpr int kSlots = 4;
  Entry entries_[kSlots];
  int next_ = 0;
};

thread_local ConverterCache t_converters;

// Collects output units: counts only when the caller gave no room, else
// writes until the room is exhausted and then remembers the overflow.
template <typename Unit>
class Sink {
 public:
  Sink(Unit* dst, size_t capacity) : dst_(dst), capacity_(capacity), counting_(capacity == 0) {}

  // Writes n units as one piece (a surrogate pair or a multi-byte sequence
  // is never split).
  void Put(const Unit* units, size_t n) {
    if (!counting_) {
      if (overflow_ || capacity_ - count_ < n) {
        overflow_ = true;
        return;
      }
      std::memcpy(dst_ + count_, units, n * sizeof(Unit));
    }
    count_ += n;
  }
  void Put(Unit u) { Put(&u, 1); }

  // Room left for a straight copy (unbounded while counting).
  size_t Room() const { return counting_ ? SIZE_MAX : capacity_ - count_; }
  Unit* Cursor() { return dst_ + count_; }
  void Advance(size_t n) { count_ += n; }
  bool counting() const { return counting_; }
  bool overflow() const { return overflow_; }
  size_t count() const { return count_; }

 private:
  Unit* dst_;
  size_t capacity_;
  size_t count_ = 0;
  bool counting_;
  bool overflow_ = false;
};

using WideSink = Sink<char16_t>;

// Eight bytes or four units at once, to test a run for ASCII in one step.
inline uint64_t Load64(const void* p) {
  uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}
constexpr uint64_t kHighBits = 0x8080808080808080ull;   // any byte >= 0x80
constexpr uint64_t kHighUnits = 0xFF80FF80FF80FF80ull;  // any unit >= 0x80
using NarrowSink = Sink<char>;

void DecodeUtf8(const unsigned char* s, size_t len, WideSink& out) {
  size_t i = 0;
  while (i < len && !out.overflow()) {
    // Runs of ASCII are copied straight, eight bytes per step while no byte
    // has its high bit set.
    if (s[i] < 0x80) {
      size_t limit = len - i < out.Room() ? len - i : out.Room();
      const unsigned char* p = s + i;
      size_t n = 0;
      if (out.counting()) {
        while (n + 8 <= limit && (Load64(p + n) & kHighBits) == 0) n += 8;
        while (n < limit && p[n] < 0x80) ++n;
      } else {
        char16_t* d = out.Cursor();
        while (n + 8 <= limit && (Load64(p + n) & kHighBits) == 0) {
          for (int k = 0; k < 8; ++k) d[n + k] = p[n + k];
          n += 8;
        }
        while (n < limit && p[n] < 0x80) {
          d[n] = p[n];
          ++n;
        }
      }
      out.Advance(n);
      i += n;
      if (n == 0) out.Put(s[i++]);  // no room: records the overflow
      continue;
    }
    unsigned char b0 = s[i];
    int need;
    char32_t cp;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 < 0xC2) {
      out.Put(kReplacement);
      ++i;
      continue;
    } else if (b0 <= 0xDF) {
      need = 1;
      cp = b0 & 0x1F;
    } else if (b0 <= 0xEF) {
      need = 2;
      cp = b0 & 0x0F;
      if (b0 == 0xE0) lo = 0xA0;  // overlong
      if (b0 == 0xED) hi = 0x9F;  // surrogates
    } else if (b0 <= 0xF4) {
      need = 3;
      cp = b0 & 0x07;
      if (b0 == 0xF0) lo = 0x90;  // overlong
      if (b0 == 0xF4) hi = 0x8F;  // above U+10FFFF
    } else {
      out.Put(kReplacement);
      ++i;
      continue;
    }
    size_t j = i + 1;
    bool ok = true;
    for (int k = 0; k < need; ++k, ++j) {
      if (j >= len || s[j] < lo || s[j] > hi) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (s[j] & 0x3F);
      lo = 0x80;
      hi = 0xBF;
    }
    i = j;  // a bad sequence consumes its valid prefix only
    if (!ok) {
      out.Put(kReplacement);
    } else if (cp >= 0x10000) {
      cp -= 0x10000;
      char16_t pair[2] = {static_cast<char16_t>(0xD800 + (cp >> 10)),
                          static_cast<char16_t>(0xDC00 + (cp & 0x3FF))};
      out.Put(pair, 2);
    } else {
      out.Put(static_cast<char16_t>(cp));
    }
  }
}

void EncodeUtf8(const char16_t* s, size_t len, NarrowSink& out, bool* usedReplacement) {
  size_t i = 0;
  while (i < len && !out.overflow()) {
    char32_t u = s[i];
    if (u < 0x80) {
      size_t limit = len - i < out.Room() ? len - i : out.Room();
      const char16_t* p = s + i;
      size_t n = 0;
      if (out.counting()) {
        while (n + 4 <= limit && (Load64(p + n) & kHighUnits) == 0) n += 4;
        while (n < limit && p[n] < 0x80) ++n;
      } else {
        char* d = out.Cursor();
        while (n + 4 <= limit && (Load64(p + n) & kHighUnits) == 0) {
          for (int k = 0; k < 4; ++k) d[n + k] = static_cast<char>(p[n + k]);
          n += 4;
        }
        while (n < limit && p[n] < 0x80) {
          d[n] = static_cast<char>(p[n]);
          ++n;
        }
      }
      out.Advance(n);
      i += n;
      if (n == 0) out.Put(static_cast<char>(s[i++]));  // no room: records the overflow
      continue;
    }
    char buf[4];
    size_t n;
    if (u < 0x800) {
      buf[0] = static_cast<char>(0xC0 | (u >> 6));
      buf[1] = static_cast<char>(0x80 | (u & 0x3F));
      n = 2;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      if (u <= 0xDBFF && i + 1 < len && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
        char32_t cp = 0x10000 + ((u - 0xD800) << 10) + (s[i + 1] - 0xDC00);
        buf[0] = static_cast<char>(0xF0 | (cp >> 18));
        buf[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        buf[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        buf[3] = static_cast<char>(0x80 | (cp & 0x3F));
        n = 4;
        ++i;
      } else {
        buf[0] = '\xEF';  // U+FFFD for an unpaired surrogate
        buf[1] = '\xBF';
        buf[2] = '\xBD';
        n = 3;
        *usedReplacement = true;
      }
    } else {
      buf[0] = static_cast<char>(0xE0 | (u >> 12));
      buf[1] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      buf[2] = static_cast<char>(0x80 | (u & 0x3F));
      n = 3;
    }
    out.Put(buf, n);
    ++i;
  }
}

// Runs iconv over the whole input in chunks. `onBad` is called for input
// iconv rejects with the remaining input; it emits the replacement and
// returns how many bytes to skip (0 ends the conversion).
template <typename Unit, typename OnBad>
bool RunIconv(iconv_t cd, const char* src, size_t len, Sink<Unit>& out, OnBad onBad) {
  char* in = const_cast<char*>(src);
  size_t in_left = len;
  Unit chunk[256];
  while (in_left > 0 && !out.overflow()) {
    char* o = reinterpret_cast<char*>(chunk);
    size_t o_left = sizeof chunk;
    size_t rc = ::iconv(cd, &in, &in_left, &o, &o_left);
    int error = rc == static_cast<size_t>(-1) ? errno : 0;
    out.Put(chunk, (sizeof chunk - o_left) / sizeof(Unit));
    if (error == 0 || error == E2BIG) continue;
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    size_t skip = onBad(in, in_left, error);
    if (skip == 0 || skip > in_left) break;
    in += skip;
    in_left -= skip;
  }
  // Flush any shift state the target needs to end with.
  Unit tail[16];
  char* o = reinterpret_cast<char*>(tail);
  size_t o_left = sizeof tail;
  ::iconv(cd, nullptr, nullptr, &o, &o_left);
  out.Put(tail, (sizeof tail - o_left) / sizeof(Unit));
  return true;
}

bool IconvToUtf16(const Charset& cs, const char* src, size_t len, WideSink& out) {
  iconv_t cd = t_converters.Get(kUtf16, cs.name);
  if (cd == nullptr) return false;
  return RunIconv(cd, src, len, out, [&](const char*, size_t left, int error) -> size_t {
    out.Put(u'?');
    return error == EILSEQ ? 1 : left;  // EINVAL: an incomplete character ends the input
  });
}

bool IconvFromUtf16(const Charset& cs, const char16_t* src, size_t len, NarrowSink& out,
                    char defaultChar, bool* used) {
  iconv_t cd = t_converters.Get(cs.name, kUtf16);
  if (cd == nullptr) return false;
  return RunIconv(cd, reinterpret_cast<const char*>(src), len * 2, out,
                  [&](const char* at, size_t left, int error) -> size_t {
                    out.Put(defaultChar);
                    *used = true;
                    if (error != EILSEQ || left < 2) return left;
                    char16_t u;
                    std::memcpy(&u, at, 2);
                    if (u >= 0xD800 && u <= 0xDBFF && left >= 4) {
                      char16_t next;
                      std::memcpy(&next, at + 2, 2);
                      if (next >= 0xDC00 && next <= 0xDFFF) return 4;  // a pair iconv can't encode
                    }
                    return 2;
                  });
}

int Fail(DWORD error) {
  SetLastError(error);
  return 0;
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD, const char* src, int cbMultiByte, WCHAR* dst,
                        int cchWideChar) {
  if (src == nullptr || cbMultiByte < -1 || cbMultiByte == 0 || cchWideChar < 0 ||
      (cchWideChar > 0 && dst == nullptr)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  size_t len = cbMultiByte == -1 ? std::strlen(src) + 1 : static_cast<size_t>(cbMultiByte);
  if (len > INT_MAX) return Fail(ERROR_INVALID_PARAMETER);
  const Charset* cs = Resolve(codePage);
  if (cs == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  WideSink out(dst, static_cast<size_t>(cchWideChar));
  if (cs->utf8) {
    DecodeUtf8(reinterpret_cast<const unsigned char*>(src), len, out);
  } else if (!IconvToUtf16(*cs, src, len, out)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  if (out.overflow()) return Fail(ERROR_INSUFFICIENT_BUFFER);
  // Every input byte gives at most one unit, so the count fits an int.
  return static_cast<int>(out.count());
}

int WideCharToMultiByte(UINT codePage, DWORD, const WCHAR* src, int cchWideChar, char* dst,
                        int cbMultiByte, const char* defaultChar, BOOL* usedDefaultChar) {
  if (src == nullptr || cchWideChar < -1 || cchWideChar == 0 || cbMultiByte < 0 ||
      (cbMultiByte > 0 && dst == nullptr)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  size_t len = 0;
  if (cchWideChar == -1) {
    while (src[len] != 0) ++len;
    ++len;
  } else {
    len = static_cast<size_t>(cchWideChar);
  }
  if (len > INT_MAX / 4) return Fail(ERROR_INVALID_PARAMETER);
  const Charset* cs = Resolve(codePage);
  if (cs == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  NarrowSink out(dst, static_cast<size_t>(cbMultiByte));
  bool used = false;
  if (cs->utf8) {
    EncodeUtf8(src, len, out, &used);
  } else if (!IconvFromUtf16(*cs, src, len, out, defaultChar ? *defaultChar : '?', &used)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  if (usedDefaultChar != nullptr) *usedDefaultChar = used ? TRUE : FALSE;
  if (out.overflow()) return Fail(ERROR_INSUFFICIENT_BUFFER);
  if (out.count() > INT_MAX) return Fail(ERROR_INSUFFICIENT_BUFFER);
  return static_cast<int>(out.count());
}

namespace korvo::platform {

std::u16string ToUtf16(UINT codePage, std::string_view text) {
  std::u16string result;
  const Charset* cs = text.empty() || text.size() > INT_MAX ? nullptr : Resolve(codePage);
  if (cs == nullptr) return result;
  if (cs->utf8) return Utf8ToUtf16(text);
  // One byte never gives more than one unit: convert once into a buffer of
  // the input's length.
  result.resize(text.size());
  WideSink out(result.data(), result.size());
  IconvToUtf16(*cs, text.data(), text.size(), out);
  result.resize(out.overflow() ? 0 : out.count());
  return result;
}

std::string FromUtf16(UINT codePage, std::u16string_view text) {
  std::string result;
  const Charset* cs = text.empty() || text.size() > INT_MAX / 4 ? nullptr : Resolve(codePage);
  if (cs == nullptr) return result;
  if (cs->utf8) return Utf16ToUtf8(text);
  bool used = false;
  NarrowSink counter(nullptr, 0);
  IconvFromUtf16(*cs, text.data(), text.size(), counter, '?', &used);
  result.resize(counter.count());
  if (result.empty()) return result;
  NarrowSink out(result.data(), result.size());
  IconvFromUtf16(*cs, text.data(), text.size(), out, '?', &used);
  result.resize(out.overflow() ? 0 : out.count());
  return result;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  // One byte never gives more than one unit.
  std::u16string result(text.size(), u'\0');
  WideSink out(result.data(), result.size());
  DecodeUtf8(reinterpret_cast<const unsigned char*>(text.data()), text.size(), out);
  result.resize(out.count());
  return result;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  // At most three bytes per unit (a pair gives four for two units).
  std::string result(text.size() * 3, '\0');
  NarrowSink out(result.data(), result.size());
  bool replaced = false;
  EncodeUtf8(text.data(), text.size(), out, &replaced);
  result.resize(out.count());
  return result;
}

bool IsUtf8CodePage(UINT codePage) {
  const Charset* cs = Resolve(codePage);
  return cs != nullptr && cs->utf8;
}

const char* AnsiCodePageName() { return Ansi().name.c_str(); }

const char* OemCodePageName() { return Oem().name.c_str(); }

}  // namespace korvo::platform

namespace {

BOOL ConvertInPlaceCapable(UINT from, UINT to, const char* src, char* dst) {
  if (src == nullptr || dst == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string_view text(src);
  std::string converted = korvo::platform::FromUtf16(to, korvo::platform::ToUtf16(from, text));
  size_t n = converted.size() < text.size() ? converted.size() : text.size();
  // A UTF-8 target is cut before a whole character, never inside one.
  if (n < converted.size() && korvo::platform::IsUtf8CodePage(to)) {
    while (n > 0 && (static_cast<unsigned char>(converted[n]) & 0xC0) == 0x80) --n;
  }
  std::memmove(dst, converted.data(), n);
  dst[n] = '\0';
  return TRUE;
}

}  // namespace

BOOL CharToOemA(const char* src, char* dst) {
  return ConvertInPlaceCapable(CP_ACP, CP_OEMCP, src, dst);
}

BOOL OemToCharA(const char* src, char* dst) {
  return ConvertInPlaceCapable(CP_OEMCP, CP_ACP, src, dst);
}
