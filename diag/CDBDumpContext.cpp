// diag/CDBDumpContext.cpp: chunking and line-feed translation for the debug
// dump stream.
#include <korvo/diag/CDBDumpContext.h>
#include <korvo/platform/codepage.h>
#include <korvo/platform/debugout.h>
#include <korvo/platform/format.h>
#include <korvo/platform/gcvt_internal.h>
#include <korvo/platform/widechar.h>

#include <cstdint>
#include <vector>

using korvo::platform::Format;

namespace {

constexpr int kChunkBuffer = 512;
// A chunk is closed once it holds this many characters, so that a line
// feed's carriage return still fits before the terminator.
constexpr int kChunkLimit = 510;
// Buffer of the integer forms and of each HexDump prefix.
constexpr size_t kNumberBuffer = 32;

void WriteTranslated(const char* text) {
  char chunk[kChunkBuffer];
  int used = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (used >= kChunkLimit) {
      chunk[used] = '\0';
      OutputDebugStringA(chunk);
      used = 0;
    }
    if (*p == '\n') chunk[used++] = '\r';
    chunk[used++] = *p;
  }
  chunk[used] = '\0';
  OutputDebugStringA(chunk);
}

}  // namespace

CDBDumpContext::CDBDumpContext() : m_nDepth(0) {}

void CDBDumpContext::OutputString(const char* text) { OutputDebugStringA(text); }

CDBDumpContext& CDBDumpContext::operator<<(const char* text) {
  WriteTranslated(text != nullptr ? text : "(NULL)");
  return *this;
}

CDBDumpContext& CDBDumpContext::operator<<(const WCHAR* text) {
  if (text == nullptr) return *this << "(NULL)";
  char buffer[kChunkBuffer];
  int n = WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, kChunkBuffer, nullptr, nullptr);
  if (n > 0) return *this << static_cast<const char*>(buffer);
  // Too long for the buffer: convert into one of the right size.
  n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return *this;
  std::vector<char> big(static_cast<size_t>(n));
  if (WideCharToMultiByte(CP_ACP, 0, text, -1, big.data(), n, nullptr, nullptr) <= 0) {
    return *this;
  }
  big.back() = '\0';
  return *this << static_cast<const char*>(big.data());
}

namespace {

template <typename T>
void WriteNumber(const char* format, T value) {
  char buffer[kNumberBuffer];
  Format(buffer, sizeof buffer, format, value);
  OutputDebugStringA(buffer);
}

}  // namespace

CDBDumpContext& CDBDumpContext::operator<<(unsigned char value) {
  WriteNumber("%d", static_cast<int>(value));
  return *this;
}

CDBDumpContext& CDBDumpContext::operator<<(unsigned short value) {
  WriteNumber("%u", static_cast<unsigned int>(value));
  return *this;
}

CDBDumpContext& CDBDumpContext::operator<<(int value) {
  WriteNumber("%d", value);
  return *this;
}

CDBDumpContext& CDBDumpContext::operator<<(unsigned int value) {
  WriteNumber("0x%X", value);
  return *this;
}

CDBDumpContext& CDBDumpContext::operator<<(long value) {
  WriteNumber("%ld", value);
  return *this;
}

CDBDumpContext& CDBDumpContext::operator<<(unsigned long value) {
  WriteNumber("%lu", value);
  return *this;
}

CDBDumpContext& CDBDumpContext::operator<<(const void* pointer) {
  const auto low = static_cast<unsigned long>(reinterpret_cast<uintptr_t>(pointer) & 0xFFFFFFFFu);
  WriteNumber("$%lX", low);
  return *this;
}

CDBDumpContext& CDBDumpContext::operator<<(float value) {
  char buffer[korvo::platform::kGcvtBufferSize];
  return *this << static_cast<const char*>(
             korvo::platform::_gcvt(static_cast<double>(value), 6, buffer));
}

CDBDumpContext& CDBDumpContext::operator<<(double value) {
  char buffer[korvo::platform::kGcvtBufferSize];
  return *this << static_cast<const char*>(korvo::platform::_gcvt(value, 15, buffer));
}

void CDBDumpContext::HexDump(const char* lineFormat, BYTE* bytes, int count, int bytesPerLine) {
  if (count <= 0) return;
  if (bytesPerLine < 1) bytesPerLine = 1;
  int on_line = 0;
  for (int i = 0; i < count; ++i) {
    if (on_line == 0) {
      char prefix[kNumberBuffer];
      Format(prefix, sizeof prefix, lineFormat != nullptr ? lineFormat : "",
             static_cast<const void*>(bytes + i));
      *this << static_cast<const char*>(prefix);
    }
    char byte_text[8];
    Format(byte_text, sizeof byte_text, " %02X", static_cast<unsigned int>(bytes[i]));
    *this << static_cast<const char*>(byte_text);
    if (++on_line == bytesPerLine) {
      *this << "\n";
      on_line = 0;
    }
  }
  if (on_line != 0) *this << "\n";
}
