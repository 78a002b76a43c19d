// ado/recordset_state.cpp: the checks of the recordset's state table (see
// recordset_state_internal.h).
#include <korvo/ado/object_internal.h>
#include <korvo/ado/recordset_data_internal.h>
#include <korvo/ado/recordset_state_internal.h>

#include <iterator>
#include <string>

namespace korvo::ado {

static_assert(std::size(kRecordsetStateRules) ==
                  static_cast<size_t>(RecordsetOperation::kReadFieldInfo) + 1,
              "one rule per operation");

RecordsetPosition PositionOf(const RecordsetData& data) {
  if (!data.cursor) return kClosed;
  if (data.edit.mode == adEditAdd || data.cursor->on_row()) return kOnRow;
  if (data.cursor->bof()) return kBof;
  if (data.cursor->eof()) return kEof;
  return kDeleted;
}

HRESULT CheckRecordsetState(const RecordsetData& data, RecordsetOperation operation) {
  if (AcceptedAtAnyOpenPosition(operation, data.cursor != nullptr, data.edit.mode)) return kSOk;
  const RecordsetStateRule& rule = kRecordsetStateRules[static_cast<size_t>(operation)];
  const RecordsetPosition position = PositionOf(data);
  if ((rule.positions & position) == 0) {
    if (position == kClosed) return ReportAdo(kAdoObjectClosed);
    if (rule.positions == kClosed) return ReportAdo(kAdoObjectOpen);
    return ReportAdo(kAdoNoCurrentRecord);
  }
  if (rule.refused_while_editing && data.edit.mode != adEditNone) {
    return ReportAdo(kAdoNotAllowed,
                     std::string(rule.name) +
                         " is not allowed while an edit is in progress: call Update, "
                         "CancelUpdate or CancelBatch first.");
  }
  return kSOk;
}

}  // namespace korvo::ado
