// types/CTWString.cpp: the 16-bit string class: its instance of the shared
// copy-on-write machinery, UTF-32 input and output, the widening += of a byte and the
// free operators.
#include <korvo/platform/utf32.h>
#include <korvo/types/CTWString.h>
#include <korvo/types/TStringBase_internal.h>

template class korvo::detail::TStringBase<CTWString, WCHAR>;

// A string class has no error channel for bad text: invalid code points
// become U+FFFD (the library's wchar_t operations reject them instead).
CTWString::CTWString(const wchar_t* text) : Base() {
  const korvo::Utf16Copy units(text, korvo::InvalidText::kReplace);
  if (units.c_str() != nullptr) InitText(units.c_str(), SafeStrlen(units.c_str()));
}

const CTWString& CTWString::operator=(const wchar_t* text) {
  const korvo::Utf16Copy units(text, korvo::InvalidText::kReplace);
  if (units.c_str() != nullptr) AssignCopy(SafeStrlen(units.c_str()), units.c_str());
  return *this;
}

std::wstring CTWString::GetStdWString() const {
  std::wstring text;
  korvo::Utf16ToUtf32(std::u16string_view(m_pszData, static_cast<size_t>(GetLength())), text,
                      korvo::InvalidText::kReplace);
  return text;
}

const CTWString& CTWString::operator+=(char ch) {
  // Sign extension, not a code-page conversion: 0xE9 becomes 0xFFE9.
  const WCHAR unit = static_cast<WCHAR>(static_cast<int16_t>(static_cast<signed char>(ch)));
  ConcatInPlace(1, &unit);
  return *this;
}

KORVO_DEFINE_STRING_OPERATORS(CTWString, WCHAR)
