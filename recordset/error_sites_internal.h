// recordset/error_sites_internal.h: where the recordset layer's ADO failures
// are reported from (not installed): each operation's origin text and the
// trace tag of the exception it passes on. One table, so that an origin is
// looked up, and changed, in one place.
#pragma once

#include <korvo/diag/com_failure_internal.h>

namespace korvo::recordset {

using korvo::diag::ErrorSite;

inline constexpr ErrorSite kCreateSite{"[5000]", "DbException100"};
inline constexpr ErrorSite kFieldValueSite{"[5003]", "DbException104"};
inline constexpr ErrorSite kByteArrayReadSite{"[5004]", "DbException105"};
inline constexpr ErrorSite kLongBinaryReadSite{"[5004]", "DbException106"};
inline constexpr ErrorSite kSetTextSite{"[5005]", "DbException108"};
inline constexpr ErrorSite kSetIntSite{"[5006]", "DbException109"};
inline constexpr ErrorSite kSetLongSite{"[5007]", "DbException110"};
inline constexpr ErrorSite kSetLongBinarySite{"[5008]", "DbException111"};
inline constexpr ErrorSite kSetTimeSite{"[5009]", "DbException112"};
inline constexpr ErrorSite kSetDoubleSite{"[5010]", "DbException113"};
inline constexpr ErrorSite kFieldObjectSite{"[5011]", "DbException116"};
inline constexpr ErrorSite kAppendChunkSite{"[5012]", "DbException117"};
inline constexpr ErrorSite kPrepareAndExecuteSite{"[5014]", "DbException119"};
inline constexpr ErrorSite kSetPosUpdateSite{"[5015]", "DbException120"};
inline constexpr ErrorSite kSetByteSite{"[5016]", "DbException114"};
inline constexpr ErrorSite kSetByteArraySite{"[5016]", "DbException115"};
inline constexpr ErrorSite kFieldInfoSite{"[5016]", "DbException122"};
inline constexpr ErrorSite kFieldsCountSite{"[5016]", "DbException123"};
inline constexpr ErrorSite kSetWideTextSite{"[5020]", "DbException108"};
inline constexpr ErrorSite kSetExpressionSite{"[5021]", "DbException107"};
inline constexpr ErrorSite kSetWideExpressionSite{"[5022]", "DbException107"};

}  // namespace korvo::recordset
