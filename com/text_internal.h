// com/text_internal.h: the blanks that the text conversions of
// VariantChangeType allow around numbers and dates (ASCII only, no locale).
#pragma once

namespace korvo::com::detail {

inline bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

}  // namespace korvo::com::detail
