// diag/host_wide_text.cpp: strict UTF-32 <-> UTF-16 at the host boundary,
// failures as CDBException.
#include <korvo/diag/CDBException.h>
#include <korvo/diag/host_wide_text.h>

#include <memory>

namespace korvo {
namespace {

[[noreturn]] void ThrowInvalidWideText(const WideConversion& failure) {
  auto e = std::make_unique<CDBException>(static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  e->m_strErrorText = ("Invalid wide text: " + DescribeInvalidWideText(failure)).c_str();
  e->m_strErrorOrigin = "[wchar_t]";
  throw e.release();
}

}  // namespace

HostWideText::HostWideText(const wchar_t* text) : Utf16Copy(text, InvalidText::kStop) {
  if (!result().ok) ThrowInvalidWideText(result());
}

std::wstring ToHostWideString(const WCHAR* text, size_t length) {
  std::wstring out;
  if (text == nullptr) return out;
  const WideConversion result =
      Utf16ToUtf32(std::u16string_view(text, length), out, InvalidText::kStop);
  if (!result.ok) ThrowInvalidWideText(result);
  return out;
}

}  // namespace korvo
