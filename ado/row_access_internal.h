// ado/row_access_internal.h: the conversions behind IKorvoRowAccess
// (ado/row_access.h), shared by the recordset object that offers it and
// the recordset layer that uses it. Not installed.
// Thread-safety: pure functions.
#pragma once

#include <korvo/ado/providers/provider.h>
#include <korvo/ado/row_access.h>
#include <korvo/com/variant.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace korvo::ado {

// True when `size` bytes at `data` are well-formed UTF-8 without a zero
// byte: text that every UTF-8 decoder and encoder of the library carries
// through UTF-16 and back unchanged, and whose C-string form is all of it.
bool IsPlainUtf8(const char* data, size_t size);

namespace detail {

// The eight bytes at `p`.
inline uint64_t Word(const unsigned char* p) {
  uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// The four bytes at `low` and the four at `high` in one word.
inline uint64_t HalfWords(const unsigned char* low, const unsigned char* high) {
  uint32_t a, b;
  std::memcpy(&a, low, sizeof a);
  std::memcpy(&b, high, sizeof b);
  return a | static_cast<uint64_t>(b) << 32;
}

// Zero exactly when no byte of `word` has its high bit set or is zero
// (bytes 1 to 127). Several words are tested at once by or-ing the results.
inline uint64_t NotAsciiBits(uint64_t word) {
  constexpr uint64_t kHigh = 0x8080808080808080ULL;
  // A zero byte borrows in the subtraction, which sets its high bit (the
  // bytes above it may be flagged too: only the whole word's answer counts).
  return (word | ((word - 0x0101010101010101ULL) & ~word)) & kHigh;
}

}  // namespace detail

// Text of 4 to 32 bytes that is all ASCII without a zero byte (plain
// UTF-8, as IsPlainUtf8 finds it), copied to `buffer(size)`, a char* with
// room for `size` bytes that is asked for only then. False, with nothing
// asked or written, for any other text, which the caller checks and
// copies the long way. Inline: the member fills take the short text of
// every row through it, checked and copied in registers.
template <class Buffer>
[[gnu::always_inline]] inline bool CopyShortAscii(const char* text, size_t size, Buffer&& buffer) {
  using detail::NotAsciiBits;
  using detail::Word;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  if (size - 8 <= 8) {  // 8 to 16 bytes: two words, overlapping
    const uint64_t first = Word(p), last = Word(p + size - 8);
    if ((NotAsciiBits(first) | NotAsciiBits(last)) != 0) return false;
    char* out = buffer(size);
    std::memcpy(out, &first, 8);
    std::memcpy(out + size - 8, &last, 8);
    return true;
  }
  if (size - 17 <= 15) {  // 17 to 32 bytes: four words
    const uint64_t w0 = Word(p), w1 = Word(p + 8), w2 = Word(p + size - 16),
                   w3 = Word(p + size - 8);
    if ((NotAsciiBits(w0) | NotAsciiBits(w1) | NotAsciiBits(w2) | NotAsciiBits(w3)) != 0)
      return false;
    char* out = buffer(size);
    std::memcpy(out, &w0, 8);
    std::memcpy(out + 8, &w1, 8);
    std::memcpy(out + size - 16, &w2, 8);
    std::memcpy(out + size - 8, &w3, 8);
    return true;
  }
  if (size - 4 <= 3) {  // 4 to 7 bytes: two half words, overlapping
    const uint64_t halves = detail::HalfWords(p, p + size - 4);
    if (NotAsciiBits(halves) != 0) return false;
    const auto first = static_cast<uint32_t>(halves), last = static_cast<uint32_t>(halves >> 32);
    char* out = buffer(size);
    std::memcpy(out, &first, 4);
    std::memcpy(out + size - 4, &last, 4);
    return true;
  }
  return false;
}

// The cell of a column of `ado_type` in the raw form Field.Value would
// hold (CellToVariant decides the type and the value). False when there is
// none: Field.Value would render a number as text or bytes, hold a
// currency or decimal, or fail.
bool CellToRowCell(const provider::Cell& cell, int32_t ado_type, RowCell* out);

// A scalar cell (not text, bytes or null) as the VARIANT of its type and
// value, in `out` (which must be empty). False for any other cell.
bool ScalarRowCellToVariant(const RowCell& cell, VARIANT* out);

// The reverse: a scalar VARIANT (not by reference) as a cell. False for
// any other VARIANT (*out is then unchanged).
bool VariantToScalarRowCell(const VARIANT& value, RowCell* out);

// RowCellToParam's result for the cells that need no conversion (well-formed
// text into a text column, a signed integer into an integer column, a
// double into a real column), written over every member of *out (its text
// buffer is reused); false, *out unchanged, for any other cell.
bool DirectRowCellToParam(const RowCell& cell, int32_t ado_type, provider::ParamValue* out);
// Its text case for `size` bytes of UTF-8 the caller found plain
// (IsPlainUtf8): false, *out unchanged, when the column is not text.
bool DirectPlainTextToParam(const char* bytes, size_t size, int32_t ado_type,
                            provider::ParamValue* out);

// The value to put for `cell` into a column of `ado_type`: what
// VariantToParam gives for the VARIANT of the same type and value.
HRESULT RowCellToParam(const RowCell& cell, int32_t ado_type, provider::ParamValue* out,
                       std::string* error);

}  // namespace korvo::ado
