// com/plain_date_internal.h: the split of the form dates are commonly
// stored in, "YYYY-MM-DD" or "YYYY-MM-DD hh:mm:ss", into calendar fields.
// Inline: a date column's member fill runs it on every row.
// Thread-safety: pure functions.
#pragma once

#include <korvo/com/vartype.h>
#include <korvo/platform/civil_date.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace korvo::com::detail {

// The calendar fields of "YYYY-MM-DD hh:mm:ss" as SplitPlainDate reads them.
struct PlainDateFields {
  unsigned year, month, day, hour, minute, second;
};

// A word of eight characters of a template ('0' for a digit, else the
// separator itself), the first in the lowest byte.
constexpr uint64_t TemplateWord(const char (&text)[9]) {
  uint64_t w = 0;
  for (int i = 7; i >= 0; --i) w = w << 8 | static_cast<unsigned char>(text[i]);
  return w;
}
// Per byte of the template, 0x7F less the highest value the byte may have
// once XORed with the template: 9 for a digit ('0'..'9' give 0..9, every
// other byte more), 0 for a separator (only itself gives 0).
constexpr uint64_t TemplateBounds(const char (&text)[9]) {
  uint64_t w = 0;
  for (int i = 7; i >= 0; --i) w = w << 8 | (text[i] == '0' ? 0x7F - 9 : 0x7F);
  return w;
}

// The digits and separators of "YYYY-MM-DD hh:mm:ss" at `s` (19 bytes, all
// of them readable), and every field in range except the day beyond the
// 28th, which the caller checks against its month. Two ways to one answer:
// eight bytes at a time anywhere, sixteen where SSE2 is there (x86-64
// always). SplitFullPlainDate is the one callers use; the tests hold the
// two against each other.
inline bool SplitFullPlainDateWords(const char* s, PlainDateFields* out) {
  static_assert(std::endian::native == std::endian::little, "the first byte is the lowest");
  constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL, kHigh = 0x8080808080808080ULL;
  uint64_t date = 0, middle = 0, time = 0;
  std::memcpy(&date, s, 8);        // "YYYY-MM-"
  std::memcpy(&middle, s + 8, 8);  // "DD hh:mm"
  std::memcpy(&time, s + 11, 8);   // "hh:mm:ss"
  constexpr uint64_t kDate = TemplateWord("0000-00-"), kMiddle = TemplateWord("00 00:00"),
                     kTime = TemplateWord("00:00:00");
  constexpr uint64_t kDateBounds = TemplateBounds("0000-00-"),
                     kMiddleBounds = TemplateBounds("00 00:00"),
                     kTimeBounds = TemplateBounds("00:00:00");
  date ^= kDate;
  middle ^= kMiddle;
  time ^= kTime;
  // A byte above its bound sets its top bit, either itself or once its
  // low seven bits are added to the bound's complement (which cannot carry).
  const uint64_t over = (((date & kLow7) + kDateBounds) | date) |
                        (((middle & kLow7) + kMiddleBounds) | middle) |
                        (((time & kLow7) + kTimeBounds) | time);
  if ((over & kHigh) != 0) return false;
  // Every byte is now a digit's value or 0: each byte of x * 10 + (x >> 8)
  // is the two-digit number that starts there (at most 99, so no carry).
  const uint64_t date_pairs = date * 10 + (date >> 8);
  const uint64_t middle_pairs = middle * 10 + (middle >> 8);
  const uint64_t time_pairs = time * 10 + (time >> 8);
  const unsigned century = date_pairs & 0xFF;
  out->year = century * 100 + ((date_pairs >> 16) & 0xFF);
  out->month = (date_pairs >> 40) & 0xFF;
  out->day = middle_pairs & 0xFF;
  out->hour = (middle_pairs >> 24) & 0xFF;
  out->minute = (middle_pairs >> 48) & 0xFF;
  out->second = (time_pairs >> 48) & 0xFF;
  return century != 0 && out->month - 1 < 12 && out->day - 1 < 31 && out->hour < 24 &&
         out->minute < 60 && out->second < 60;
}

#if defined(__SSE2__)
inline bool SplitFullPlainDateSse2(const char* s, PlainDateFields* out) {
  // Bytes 0..15 and 3..18: between them every two-digit field starts on an
  // even byte of one of the two.
  const __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
  const __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3));
  // Less its template byte ('0' for a digit, the separator itself), a byte
  // must not exceed 9 where a digit belongs or 0 where a separator does.
  const __m128i head_digits =
      _mm_sub_epi8(head, _mm_setr_epi8('0', '0', '0', '0', '-', '0', '0', '-', '0', '0', ' ', '0',
                                       '0', ':', '0', '0'));
  const __m128i tail_digits =
      _mm_sub_epi8(tail, _mm_setr_epi8('0', '-', '0', '0', '-', '0', '0', ' ', '0', '0', ':', '0',
                                       '0', ':', '0', '0'));
  __m128i over = _mm_or_si128(
      _mm_subs_epu8(head_digits, _mm_setr_epi8(9, 9, 9, 9, 0, 9, 9, 0, 9, 9, 0, 9, 9, 0, 9, 9)),
      _mm_subs_epu8(tail_digits, _mm_setr_epi8(9, 0, 9, 9, 0, 9, 9, 0, 9, 9, 0, 9, 9, 0, 9, 9)));
  // Each 16-bit lane's two digits as one number: (lo + 256 hi) * 2561 is
  // 256 (10 lo + hi) + lo modulo 2^16.
  __m128i k2561 = _mm_set1_epi16(2561);
#if defined(__GNUC__) && !defined(__clang__)
  // Hidden from GCC, which would otherwise spend four shifts and adds on
  // each product instead of one multiply.
  __asm__("" : "+x"(k2561));
#endif
  // Century, year of the century, -, -, day, -, -, minute.
  const __m128i head_pairs = _mm_srli_epi16(_mm_mullo_epi16(head_digits, k2561), 8);
  // -, month, -, -, hour, -, -, second.
  const __m128i tail_pairs = _mm_srli_epi16(_mm_mullo_epi16(tail_digits, k2561), 8);
  // The ranges, the numbers of both in one byte each: 1..99 for the
  // century, 1..31 for the day, 0..59 for the minute, 1..12 for the month,
  // 0..23 for the hour, 0..59 for the second. Less its lowest value (a
  // number below it wraps high), each must not exceed its span (0xFF: any).
  const __m128i low = _mm_setr_epi8(1, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0);
  const __m128i span =
      _mm_setr_epi8(98, -1, -1, -1, 30, -1, -1, 59, -1, 11, -1, -1, 23, -1, -1, 59);
  over = _mm_or_si128(
      over, _mm_subs_epu8(_mm_sub_epi8(_mm_packus_epi16(head_pairs, tail_pairs), low), span));
  // Any byte above 0 reaches the top bit.
  if (_mm_movemask_epi8(_mm_adds_epu8(over, _mm_set1_epi8(0x7F))) != 0) return false;
  out->year = static_cast<unsigned>(
      _mm_cvtsi128_si32(_mm_madd_epi16(head_pairs, _mm_setr_epi16(100, 1, 0, 0, 0, 0, 0, 0))));
  out->day = static_cast<unsigned>(_mm_extract_epi16(head_pairs, 4));
  out->minute = static_cast<unsigned>(_mm_extract_epi16(head_pairs, 7));
  out->month = static_cast<unsigned>(_mm_extract_epi16(tail_pairs, 1));
  out->hour = static_cast<unsigned>(_mm_extract_epi16(tail_pairs, 4));
  out->second = static_cast<unsigned>(_mm_extract_epi16(tail_pairs, 7));
  return true;
}
#endif

inline bool SplitFullPlainDate(const char* s, PlainDateFields* out) {
#if defined(__SSE2__)
  return SplitFullPlainDateSse2(s, out);
#else
  return SplitFullPlainDateWords(s, out);
#endif
}

// The text ParsePlainDate (oledate_internal.h) takes, exactly
// "YYYY-MM-DD" or "YYYY-MM-DD hh:mm:ss", as calendar fields (day of week
// and milliseconds 0), for a caller that needs no OLE date; false (nothing
// written) for any other text.
inline bool SplitPlainDate(std::string_view text, SYSTEMTIME* fields) {
  PlainDateFields split;
  if (text.size() == 19) {
    if (!SplitFullPlainDate(text.data(), &split)) return false;
  } else if (text.size() == 10) {
    // The date alone is the date at midnight; copied so that nothing is
    // read beyond the text.
    char full[19];
    std::memcpy(full, text.data(), 10);
    std::memcpy(full + 10, " 00:00:00", 9);
    if (!SplitFullPlainDate(full, &split)) return false;
  } else {
    return false;
  }
  if (split.day > 28 && split.day > platform::DaysInMonth(split.year, split.month)) return false;
  fields->wYear = static_cast<WORD>(split.year);
  fields->wMonth = static_cast<WORD>(split.month);
  fields->wDayOfWeek = 0;
  fields->wDay = static_cast<WORD>(split.day);
  fields->wHour = static_cast<WORD>(split.hour);
  fields->wMinute = static_cast<WORD>(split.minute);
  fields->wSecond = static_cast<WORD>(split.second);
  fields->wMilliseconds = 0;
  return true;
}

}  // namespace korvo::com::detail
