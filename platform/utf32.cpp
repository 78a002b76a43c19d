// platform/utf32.cpp: UTF-32 <-> UTF-16, the library's only implementation.
#include <korvo/platform/utf32.h>

#include <cstdio>

namespace korvo {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsHighSurrogate(uint32_t v) { return v >= 0xD800 && v <= 0xDBFF; }
bool IsLowSurrogate(uint32_t v) { return v >= 0xDC00 && v <= 0xDFFF; }

WideConversion Failure(size_t index, uint32_t value) { return {false, index, value}; }

}  // namespace

WideConversion Utf32ToUtf16(std::wstring_view in, std::u16string& out, InvalidText mode) {
  WideConversion result;
  out.reserve(out.size() + in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    const auto v = static_cast<uint32_t>(in[i]);
    if (v > 0x10FFFF || IsHighSurrogate(v) || IsLowSurrogate(v)) {
      if (result.ok) result = Failure(i, v);
      if (mode == InvalidText::kStop) return result;
      out.push_back(kReplacement);
    } else if (v > 0xFFFF) {
      out.push_back(static_cast<char16_t>(0xD800 + ((v - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((v - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(v));
    }
  }
  return result;
}

WideConversion Utf16ToUtf32(std::u16string_view in, std::wstring& out, InvalidText mode) {
  WideConversion result;
  out.reserve(out.size() + in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    const uint32_t v = in[i];
    if (IsHighSurrogate(v) && i + 1 < in.size() && IsLowSurrogate(in[i + 1])) {
      out.push_back(static_cast<wchar_t>(0x10000 + ((v - 0xD800) << 10) + (in[i + 1] - 0xDC00)));
      ++i;
    } else if (IsHighSurrogate(v) || IsLowSurrogate(v)) {
      if (result.ok) result = Failure(i, v);
      if (mode == InvalidText::kStop) return result;
      out.push_back(static_cast<wchar_t>(kReplacement));
    } else {
      out.push_back(static_cast<wchar_t>(v));
    }
  }
  return result;
}

Utf16Copy::Utf16Copy(const wchar_t* text, InvalidText mode) : m_isNull(text == nullptr) {
  if (!m_isNull) m_result = Utf32ToUtf16(text, m_text, mode);
}

std::string DescribeInvalidWideText(const WideConversion& failure) {
  char text[96];
  std::snprintf(text, sizeof text, "U+%04X at index %zu is not a Unicode scalar value",
                static_cast<unsigned>(failure.value), failure.index);
  return text;
}

}  // namespace korvo
