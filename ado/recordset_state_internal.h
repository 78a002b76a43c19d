// ado/recordset_state_internal.h: the Recordset object's two state
// machines (where it stands, and what edit is pending) and the table of
// which states each operation accepts.
//
// Position (derived from the cursor and the edit buffer, never stored):
//
//   position  | meaning                                 | left by
//   ----------+-----------------------------------------+--------------------------
//   kClosed   | no cursor: created, Close, the          | Open, Requery (reopens)
//             | connection's Close                      |
//   kBof      | before the first row (an empty result   | a move, Close
//             | is here and at EOF at once)             |
//   kOnRow    | on a row; also while adding (the new    | a move, Delete, Close
//             | row is the current one)                 |
//   kEof      | after the last row                      | a move, Close
//   kDeleted  | the current row was deleted             | a move, Close
//
// Edit mode (EditModeEnum, held in the edit buffer; adEditDelete is never
// entered: Delete writes at once):
//
//   mode             | entered by                  | left by
//   -----------------+-----------------------------+------------------------------------
//   adEditNone       | Open, Update, CancelUpdate, | a Field.Value put or AppendChunk
//                    | CancelBatch, Delete         | (-> adEditInProgress), AddNew
//   adEditInProgress | a Field.Value put           | Update or a move (both write),
//   adEditAdd        | AddNew (writes a pending    | CancelUpdate, CancelBatch, Delete
//                    | edit first)                 | (drops the new row unwritten)
//
// Operations and the states they accept; any other state is refused and
// changes nothing: closed 3704 (kAdoObjectClosed), open where only a
// closed recordset is accepted 3705 (kAdoObjectOpen), no current row 3021
// (kAdoNoCurrentRecord), an edit pending 3219 (kAdoNotAllowed). Whether
// the recordset is updatable (3251) is checked after the state.
//
//   operation                       | positions                | edit modes
//   --------------------------------+--------------------------+------------------
//   Open, put_CursorType/LockType/  | kClosed                  | (none pending)
//   CursorLocation/ActiveConnection |                          |
//   Close, Requery                  | any open                 | adEditNone
//   Move, MoveNext/Previous/First/  | any open                 | any (writes first)
//   Last                            |                          |
//   BOF, EOF, AbsolutePosition,     | any open                 | any
//   RecordCount, EditMode           |                          |
//   AddNew, Update, CancelUpdate,   | any open                 | any
//   CancelBatch                     |                          |
//   Delete                          | kOnRow                   | any
//   Field.Value/GetChunk/Original-  | kOnRow                   | any
//   Value/UnderlyingValue           |                          |
//   Field.Value put, AppendChunk    | kOnRow                   | any
//   Field.Name/Type/... (metadata)  | any open                 | any
#pragma once

#include <korvo/ado/ado.h>

#include <cstdint>

namespace korvo::ado {

struct RecordsetData;

// Bits, so that a row of the table is a set of positions.
enum RecordsetPosition : uint8_t {
  kClosed = 1,
  kBof = 2,
  kOnRow = 4,
  kEof = 8,
  kDeleted = 16,
};
inline constexpr uint8_t kAnyOpenPosition = kBof | kOnRow | kEof | kDeleted;

enum class RecordsetOperation : uint8_t {
  kOpen,
  kSetWhileClosed,
  kClose,
  kRequery,
  kMove,
  kReadState,
  kEdit,
  kDelete,
  kReadField,
  kWriteField,
  kReadFieldInfo,
};

// One row of the table above.
struct RecordsetStateRule {
  const char* name;  // for the 3219 message
  uint8_t positions;
  bool refused_while_editing;
};
inline constexpr RecordsetStateRule kRecordsetStateRules[] = {
    /* kOpen           */ {"Open", kClosed, false},
    /* kSetWhileClosed */ {"Changing this property", kClosed, false},
    /* kClose          */ {"Close", kAnyOpenPosition, true},
    /* kRequery        */ {"Requery", kAnyOpenPosition, true},
    /* kMove           */ {"Moving", kAnyOpenPosition, false},
    /* kReadState      */ {"Reading the position", kAnyOpenPosition, false},
    /* kEdit           */ {"Editing", kAnyOpenPosition, false},
    /* kDelete         */ {"Delete", kOnRow, false},
    /* kReadField      */ {"Reading a field", kOnRow, false},
    /* kWriteField     */ {"Writing a field", kOnRow, false},
    /* kReadFieldInfo  */ {"Reading a field's description", kAnyOpenPosition, false},
};

RecordsetPosition PositionOf(const RecordsetData& data);

// Whether `operation` is accepted without finding out the position: every
// open position passes it and the edit mode, where it matters, is
// adEditNone. (Inline: the moves and the position questions, asked on
// every row, end here.)
inline bool AcceptedAtAnyOpenPosition(RecordsetOperation operation, bool open,
                                      EditModeEnum edit_mode) {
  const RecordsetStateRule& rule = kRecordsetStateRules[static_cast<size_t>(operation)];
  return open && rule.positions == kAnyOpenPosition &&
         (!rule.refused_while_editing || edit_mode == adEditNone);
}

// kSOk when `operation` is accepted in the recordset's state; otherwise
// reports the refusal (see the table) and returns it.
HRESULT CheckRecordsetState(const RecordsetData& data, RecordsetOperation operation);

}  // namespace korvo::ado
