// diag/CDBDumpContext.h: CDBDumpContext, a stream-like writer of diagnostic
// text to the debugger output channel (OutputDebugStringA, see
// <korvo/platform/debugout.h>, where a host or test installs a sink).
//
// Nothing is buffered between calls and no file is written: every piece goes
// out at once. Text (char and WCHAR strings, float, double and every piece
// of HexDump) is sent in chunks of at most 511 characters with each line
// feed turned into carriage return + line feed; a chunk is closed once it
// holds 510 characters. The integer forms go out in one call each,
// untranslated. Null text pointers write "(NULL)".
//
// Thread-safety: caller must synchronize use of one object; the output
// channel itself serialises calls. Ownership: nothing is owned; the depth is
// stored for callers and has no effect on the output.
//
// Choice made for this implementation: wide text whose ANSI form needs more
// than 511 bytes is converted in full and written whole (in chunks), rather
// than cut or dropped.
#pragma once

#include <korvo/platform/export.h>
#include <korvo/platform/utf32.h>
#include <korvo/platform/wintypes.h>

class KORVO_API CDBDumpContext {
 public:
  CDBDumpContext();
  ~CDBDumpContext() = default;
  CDBDumpContext(const CDBDumpContext&) = delete;

  int GetDepth() const { return m_nDepth; }
  void SetDepth(int depth) { m_nDepth = depth; }
  // Nothing is held back, so there is nothing to flush.
  void Flush() {}

  CDBDumpContext& operator<<(const char* text);
  // Converted to the ANSI code page first.
  CDBDumpContext& operator<<(const WCHAR* text);
  // The host's UTF-32 wchar_t text (L"..."; without this form it would
  // print as a pointer); invalid code points as U+FFFD, since a dump
  // never fails.
  template <korvo::HostWideChar C>
  CDBDumpContext& operator<<(const C* text) {
    return *this << korvo::Utf16Copy(text, korvo::InvalidText::kReplace).c_str();
  }
  CDBDumpContext& operator<<(unsigned char value);   // "%d"
  CDBDumpContext& operator<<(unsigned short value);  // "%u"
  CDBDumpContext& operator<<(int value);             // "%d"
  CDBDumpContext& operator<<(unsigned int value);    // "0x%X"
  CDBDumpContext& operator<<(long value);            // "%ld"
  CDBDumpContext& operator<<(unsigned long value);   // "%lu"
  // "$%lX" of the low 32 bits of the address.
  CDBDumpContext& operator<<(const void* pointer);
  // As the C runtime's _gcvt writes them, with 6 / 15
  // significant digits: 1.0 -> "1.", 0.05 -> "5.e-002", 1.0/3.0 ->
  // "0.333333333333333"; infinities and NaN as "inf", "-inf", "nan".
  CDBDumpContext& operator<<(float value);
  CDBDumpContext& operator<<(double value);

  // Writes `count` bytes as " %02X" each, `bytesPerLine` to a line (1 when
  // it is below 1), every line headed by `lineFormat` applied to the address
  // of its first byte and ended by a line feed.
  // REQUIRES: count >= 0; the prefix, address included, fits in 31
  // characters (a longer one is cut).
  void HexDump(const char* lineFormat, BYTE* bytes, int count, int bytesPerLine);

 protected:
  // Does nothing: a context has no state worth copying.
  CDBDumpContext& operator=(const CDBDumpContext&) { return *this; }
  // The text unchanged, in one call.
  void OutputString(const char* text);

 private:
  int m_nDepth;
};
