// platform/utf32.h: the one conversion between a host's UTF-32 wide text
// (wchar_t on Linux, L"..." literals, std::wstring) and Korvo's UTF-16 wide
// text (WCHAR = char16_t), and the template constraint that lets public
// entry points accept wchar_t text beside their WCHAR forms.
//
// Code points beyond the Basic Multilingual Plane become (and come back
// from) surrogate pairs. Invalid input is a lone surrogate (either
// direction) or, in UTF-32, a value above 0x10FFFF. The caller chooses
// what happens to it: kReplace writes U+FFFD and goes on (for string
// classes, which have no error channel); kStop ends the output before it.
// Either way the result names the first invalid element, so a caller with
// an error channel reports it.
// Thread-safety: the functions touch only their arguments.
#pragma once

#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace korvo {

// Satisfied only by the host's wchar_t. A parameter `const C*` with C
// constrained by it deduces from L"..." literals and wchar_t buffers, and
// never from char16_t text, 0, nullptr or a string object, so an overload
// built on it never competes with the WCHAR forms: every call that
// compiled before picks the same function as before.
template <class C>
concept HostWideChar = std::same_as<std::remove_cv_t<C>, wchar_t>;

enum class InvalidText { kReplace, kStop };

struct WideConversion {
  bool ok = true;      // false: the input held an invalid element
  size_t index = 0;    // when !ok: the input position of the first one
  uint32_t value = 0;  // when !ok: its value
};

// Appends the conversion of `in` to `out`.
KORVO_API WideConversion Utf32ToUtf16(std::wstring_view in, std::u16string& out, InvalidText mode);
KORVO_API WideConversion Utf16ToUtf32(std::u16string_view in, std::wstring& out, InvalidText mode);

// The UTF-16 copy of a host's text, alive as long as this object (for a
// temporary: to the end of the call it is an argument of). A null pointer
// stays null. The forwarding overloads of the public interface are built
// on it: value types (CTWString, _bstr_t, _variant_t) with kReplace, the
// library's operations strictly (diag/host_wide_text.h).
class KORVO_API Utf16Copy {
 public:
  Utf16Copy(const wchar_t* text, InvalidText mode);

  // The converted, terminated text, or null for a null input.
  const WCHAR* c_str() const noexcept { return m_isNull ? nullptr : m_text.c_str(); }
  const WideConversion& result() const noexcept { return m_result; }

 private:
  std::u16string m_text;
  bool m_isNull;
  WideConversion m_result;
};

// "U+110000 at index 3 is not a Unicode scalar value": the text error
// channels report for a failed conversion.
KORVO_API std::string DescribeInvalidWideText(const WideConversion& failure);

}  // namespace korvo
