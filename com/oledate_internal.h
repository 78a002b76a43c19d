// com/oledate_internal.h: the date text forms used by VariantChangeType.
#pragma once

#include <korvo/com/vartype.h>

#include <string>

namespace korvo::com::detail {

// True for a value that names a day from 0100-01-01 to 9999-12-31 (before
// rounding to the second): above -657435.0 (a negative date counts its
// fraction as the time of that day) and below 2958466.0.
inline bool DateInRange(DATE date) { return date > -657435.0 && date < 2958466.0; }

// ISO text of a date: "YYYY-MM-DD HH:MM:SS", without the time at midnight
// and without the date on day 0 ("HH:MM:SS"); 0.0 itself is "00:00:00".
// False for a date outside the valid range.
bool FormatDate(DATE date, std::string* out);
// Reads "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS[.fraction]]" (blank or 'T'
// between date and time) or "HH:MM[:SS[.fraction]]", with surrounding
// blanks; the fraction of a second is dropped. False for anything else or
// a field out of range.
bool ParseDate(const std::string& text, DATE* out);

}  // namespace korvo::com::detail
