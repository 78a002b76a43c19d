// types/CTString.cpp: the narrow string class: its instance of the shared
// copy-on-write machinery, the OEM conversions and the free operators.
#include <korvo/platform/codepage.h>
#include <korvo/types/CTString.h>
#include <korvo/types/TStringBase_internal.h>

#include <vector>

template class korvo::detail::TStringBase<CTString, char>;

void CTString::CharToOemA() { ConvertCodePage(CP_ACP, CP_OEMCP); }

void CTString::OemToCharA() { ConvertCodePage(CP_OEMCP, CP_ACP); }

// Through UTF-16, sized by the converter: the byte length may change (one
// CP437 byte is up to three UTF-8 bytes), and nothing is cut.
void CTString::ConvertCodePage(UINT from, UINT to) {
  CopyBeforeWrite();
  const int length = GetLength();
  if (length == 0) return;
  const int units = ::MultiByteToWideChar(from, 0, m_pszData, length, nullptr, 0);
  if (units <= 0) return;
  std::vector<WCHAR> wide(static_cast<size_t>(units));
  ::MultiByteToWideChar(from, 0, m_pszData, length, wide.data(), units);
  const int bytes = ::WideCharToMultiByte(to, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return;
  AllocBeforeWrite(bytes);
  try {
    ::WideCharToMultiByte(to, 0, wide.data(), units, m_pszData, bytes, nullptr, nullptr);
  } catch (...) {
    Release();
    throw;
  }
  GetData()->nLength = bytes;
  m_pszData[bytes] = 0;
}

KORVO_DEFINE_STRING_OPERATORS(CTString, char)
