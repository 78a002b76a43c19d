// types/CTWString.cpp: the 16-bit string class: its instance of the shared
// copy-on-write machinery, UTF-32 input, the widening += of a byte and the
// free operators.
#include <korvo/types/CTWString.h>

#include <korvo/types/TStringBase_internal.h>

template class korvo::detail::TStringBase<CTWString, WCHAR>;

namespace {

constexpr WCHAR kReplacement = 0xFFFD;

bool IsValidScalar(wchar_t c) {
  const auto v = static_cast<uint32_t>(c);
  return v <= 0x10FFFF && (v < 0xD800 || v > 0xDFFF);
}

int Utf16Units(const wchar_t* text) {
  long long units = 0;
  for (; *text != 0; ++text) {
    units += (IsValidScalar(*text) && static_cast<uint32_t>(*text) > 0xFFFF) ? 2 : 1;
  }
  return korvo::detail::CheckedLength(units);
}

void ToUtf16(const wchar_t* text, WCHAR* out) {
  for (; *text != 0; ++text) {
    const auto v = static_cast<uint32_t>(*text);
    if (!IsValidScalar(*text)) {
      *out++ = kReplacement;
    } else if (v > 0xFFFF) {
      *out++ = static_cast<WCHAR>(0xD800 + ((v - 0x10000) >> 10));
      *out++ = static_cast<WCHAR>(0xDC00 + ((v - 0x10000) & 0x3FF));
    } else {
      *out++ = static_cast<WCHAR>(v);
    }
  }
}

}  // namespace

CTWString::CTWString(const wchar_t* text) : Base() {
  if (text != nullptr) AssignUtf32(text, false);
}

const CTWString& CTWString::operator=(const wchar_t* text) {
  if (text != nullptr) AssignUtf32(text, true);
  return *this;
}

void CTWString::AssignUtf32(const wchar_t* text, bool assign) {
  const int units = Utf16Units(text);
  if (assign) {
    AllocBeforeWrite(units);
  } else {
    AllocBuffer(units);
  }
  if (IsStaticEmpty()) return;
  ToUtf16(text, m_pszData);
  GetData()->nLength = units;
  m_pszData[units] = 0;
}

const CTWString& CTWString::operator+=(char ch) {
  // Sign extension, not a code-page conversion: 0xE9 becomes 0xFFE9.
  const WCHAR unit = static_cast<WCHAR>(static_cast<int16_t>(static_cast<signed char>(ch)));
  ConcatInPlace(1, &unit);
  return *this;
}

KORVO_DEFINE_STRING_OPERATORS(CTWString, WCHAR)
