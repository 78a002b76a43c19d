// tool/display_width.cpp: display width of UTF-8 text through wcwidth.
#include "display_width.h"

#include <langinfo.h>

#include <clocale>
#include <cstring>
#include <cwchar>

namespace korvo::tool {
namespace {

// Decodes one code point at `pos`; returns its length in bytes, 0 when the
// bytes there are not well-formed UTF-8.
size_t DecodeUtf8(std::string_view s, size_t pos, char32_t& cp) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(pos);
  size_t length = lead < 0x80           ? 1
                  : (lead >> 5) == 0x6  ? 2
                  : (lead >> 4) == 0xE  ? 3
                  : (lead >> 3) == 0x1E ? 4
                                        : 0;
  if (length == 0 || pos + length > s.size()) return 0;
  cp = length == 1 ? lead : lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((byte(pos + i) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(pos + i) & 0x3F);
  }
  return length;
}

}  // namespace

void UseUtf8Locale() {
  static const bool done = [] {
    const char* chosen = std::setlocale(LC_CTYPE, "");
    if (chosen == nullptr || std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0) {
      std::setlocale(LC_CTYPE, "C.UTF-8");
    }
    return true;
  }();
  (void)done;
}

size_t DisplayWidth(std::string_view text) {
  UseUtf8Locale();
  size_t width = 0;
  for (size_t pos = 0; pos < text.size();) {
    char32_t cp = 0;
    const size_t length = DecodeUtf8(text, pos, cp);
    if (length == 0) {
      ++width;
      ++pos;
      continue;
    }
    const int columns = ::wcwidth(static_cast<wchar_t>(cp));
    width += columns < 0 ? 1 : static_cast<size_t>(columns);
    pos += length;
  }
  return width;
}

std::string PadToWidth(std::string_view text, size_t width) {
  std::string out(text);
  const size_t have = DisplayWidth(text);
  if (have < width) out.append(width - have, ' ');
  return out;
}

}  // namespace korvo::tool
