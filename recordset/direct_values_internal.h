// recordset/direct_values_internal.h: filling members straight from the
// raw cells of Korvo's own ADO recordset (ado/row_access.h), without the
// Field object, the BSTR and the UTF-16 copy of the VARIANT route. Not
// installed.
//
// A fill either leaves the member exactly as the VARIANT route would have
// left it, or returns false and leaves it untouched so that the caller
// takes the VARIANT route.
// Thread-safety: the test hook is process-wide; the fills are pure.
#pragma once

#include <korvo/ado/row_access.h>
#include <korvo/types/CTString.h>
#include <korvo/types/CTTime.h>
#include <korvo/types/CTWString.h>

#include <atomic>

namespace korvo::recordset {

// Every value then takes the VARIANT route, as for a foreign recordset
// (the tests run the conversions over both routes).
void TEST_ForceVariantRoute(bool force);
namespace detail {
extern std::atomic<bool> g_forceVariantRoute;
}  // namespace detail
// (Inline: the binding pass asks it for every member.)
inline bool VariantRouteForced() {
  return detail::g_forceVariantRoute.load(std::memory_order_relaxed);
}

// Text cells (VT_BSTR) whose UTF-8 is plain (ado/row_access_internal.h);
// the narrow forms also need the ANSI code page to be UTF-8.
bool FillText(const RowCell& cell, CTString& out);
bool FillText(const RowCell& cell, CTWString& out);
// The truncating copy of the multi-row text buffers (nSize > 0).
bool FillTextBuffer(const RowCell& cell, char* buffer, int nSize);

// The UTF-8 text a narrow string puts as a VT_BSTR cell, when the VARIANT
// route would put the same text (plain UTF-8, ANSI code page UTF-8).
bool TextCell(const CTString& text, RowCell* cell);

}  // namespace korvo::recordset
