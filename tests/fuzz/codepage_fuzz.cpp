// Fuzz target: UTF-8 <-> UTF-16 and the iconv path on arbitrary bytes.
// Counting and writing agree, a buffer one short fails cleanly, and what
// one direction produced survives the way back.
#include <korvo/platform/codepage.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

std::u16string Decode(UINT cp, const char* src, int len) {
  int n = MultiByteToWideChar(cp, 0, src, len, nullptr, 0);
  Check(n > 0);
  std::u16string out(static_cast<size_t>(n), u'\0');
  Check(MultiByteToWideChar(cp, 0, src, len, out.data(), n) == n);
  if (n > 1) Check(MultiByteToWideChar(cp, 0, src, len, out.data(), n - 1) == 0);
  return out;
}

std::string Encode(UINT cp, const char16_t* src, int len) {
  int n = WideCharToMultiByte(cp, 0, src, len, nullptr, 0, nullptr, nullptr);
  Check(n > 0);
  std::string out(static_cast<size_t>(n), '\0');
  Check(WideCharToMultiByte(cp, 0, src, len, out.data(), n, nullptr, nullptr) == n);
  if (n > 1) Check(WideCharToMultiByte(cp, 0, src, len, out.data(), n - 1, nullptr, nullptr) == 0);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 1 << 16) return 0;
  const char* bytes = reinterpret_cast<const char*>(data);
  int len = static_cast<int>(size);

  // Bytes as UTF-8: decoding replaces what is malformed, after which the
  // text is well formed and round-trips exactly.
  std::u16string wide = Decode(CP_UTF8, bytes, len);
  std::string utf8 = Encode(CP_UTF8, wide.data(), static_cast<int>(wide.size()));
  Check(Decode(CP_UTF8, utf8.data(), static_cast<int>(utf8.size())) == wide);

  // Bytes as UTF-16 units (lone surrogates included).
  if (size >= 2) {
    std::u16string units(size / 2, u'\0');
    std::memcpy(units.data(), data, units.size() * 2);
    std::string encoded = Encode(CP_UTF8, units.data(), static_cast<int>(units.size()));
    std::u16string back = Decode(CP_UTF8, encoded.data(), static_cast<int>(encoded.size()));
    Check(back.size() == units.size());  // each lone surrogate became one U+FFFD
  }

  // The iconv path on a single-byte and a multi-byte character set.
  for (UINT cp : {1252u, 936u}) {
    std::u16string viaIconv = Decode(cp, bytes, len);
    Encode(cp, viaIconv.data(), static_cast<int>(viaIconv.size()));
  }
  return 0;
}
