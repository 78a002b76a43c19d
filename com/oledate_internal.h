// com/oledate_internal.h: the date text forms used by VariantChangeType.
#pragma once

#include <korvo/com/vartype.h>

#include <string>
#include <string_view>

namespace korvo::com::detail {

// True for a value that names a day from 0100-01-01 to 9999-12-31 (before
// rounding to the second): above -657435.0 (a negative date counts its
// fraction as the time of that day) and below 2958466.0.
inline bool DateInRange(DATE date) { return date > -657435.0 && date < 2958466.0; }

// ISO text of a date: "YYYY-MM-DD HH:MM:SS", without the time at midnight
// and without the date on day 0 ("HH:MM:SS"); 0.0 itself is "00:00:00".
// False for a date outside the valid range.
bool FormatDate(DATE date, std::string* out);
// What ParseDate does with a fraction of a second: VariantChangeType drops
// it (its dates count whole seconds, as its text form does); a value read
// from a data source keeps it.
enum class SecondFraction { kDrop, kKeep };

// Reads "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS[.fraction]]" (blanks or 'T'
// between date and time) or "HH:MM[:SS[.fraction]]" (a time on day 0),
// with surrounding blanks. False for anything else or a field out of range
// (years 100..9999). The one ISO date reader of the library.
bool ParseDate(std::string_view text, DATE* out, SecondFraction fraction = SecondFraction::kDrop);

// The form dates are commonly stored in, exactly "YYYY-MM-DD" or
// "YYYY-MM-DD hh:mm:ss" (nothing around it, no fraction), read straight
// into its calendar fields: *out is what ParseDate gives for the text and
// *fields what VariantTimeToSystemTime gives for *out. False (nothing
// written) for any other text, which ParseDate then decides on. Its split
// alone is SplitPlainDate (plain_date_internal.h).
bool ParsePlainDate(std::string_view text, DATE* out, SYSTEMTIME* fields);

}  // namespace korvo::com::detail
