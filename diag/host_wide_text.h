// diag/host_wide_text.h: the boundary where a host's wchar_t text (UTF-32
// on Linux: L"..." literals, wchar_t buffers, std::wstring) enters and
// leaves the library's UTF-16 interface.
//
// The operations of CDatabase, CCmdset and CRecordset that take WCHAR text
// have a twin taking the host's wchar_t text, each a constrained template
// that converts here and forwards:
//   template <korvo::HostWideChar C>
//   void ExecuteSQL(const C* lpszSQL, long* pRecordsAffected = nullptr) {
//     ExecuteSQL(korvo::HostWideText(lpszSQL).c_str(), pRecordsAffected);
//   }
// The constraint (platform/utf32.h) keeps the twin out of every call that
// compiled before: 0, nullptr, CTWString objects and u"..." text still pick
// the WCHAR form.
//
// Invalid text (a surrogate value, or a value above 0x10FFFF; in UTF-16 a
// lone surrogate) is bad input: the conversion throws a CDBException*
// (return code 0, native error ERROR_NO_UNICODE_TRANSLATION, the text
// "Invalid wide text: U+D800 at index 2 is not a Unicode scalar value",
// origin "[wchar_t]") before the operation runs. The caller owns and
// Delete()s it, as every CDBException.
// Thread-safety: objects of this header belong to one call on one thread.
#pragma once

#include <korvo/platform/export.h>
#include <korvo/platform/process.h>  // ERROR_NO_UNICODE_TRANSLATION
#include <korvo/platform/utf32.h>
#include <korvo/platform/wintypes.h>

#include <string>

namespace korvo {

// The strict Utf16Copy: a null pointer stays null; invalid text throws
// CDBException*.
class KORVO_API HostWideText : public Utf16Copy {
 public:
  explicit HostWideText(const wchar_t* text);
};

// `length` UTF-16 units of `text` (null: none) as the host's UTF-32 text.
// Throws CDBException* for a lone surrogate.
KORVO_API std::wstring ToHostWideString(const WCHAR* text, size_t length);

}  // namespace korvo
