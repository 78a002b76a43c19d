// ado/edit_buffer_internal.h: the field values a recordset collects
// between AddNew or the first Value put and the Update that writes them.
// Thread-safety: caller must synchronise (part of one recordset's data).
#pragma once

#include <korvo/ado/ado.h>
#include <korvo/ado/providers/provider.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvo::ado {

// Field values put since the last Update, per column.
struct EditBuffer {
  EditModeEnum mode = adEditNone;
  std::vector<provider::ParamValue> values;
  std::vector<uint8_t> changed;  // 0 not put, 1 put, 2 put by AppendChunk
  std::vector<int> changed_list;

  // No edit, sized for `columns` columns.
  void Reset(size_t columns);
  // A chunk after a chunk of the same edit is appended to it.
  void Assign(int column, provider::ParamValue&& value, bool chunk);
  // Records a put of `column` whose value the caller has written into
  // values[column] itself. (Inline: every field put of every row ends here.)
  void MarkPut(int column, bool chunk = false) {
    const auto c = static_cast<size_t>(column);
    if (mode == adEditNone) mode = adEditInProgress;
    if (changed[c] == 0) changed_list.push_back(column);
    changed[c] = chunk ? 2 : 1;
  }
};

// The value as a cell; it points into `v`, valid while `v` is unchanged.
// (Inline: every stored row copies each of its put values this way.)
inline provider::Cell CellOf(const provider::ParamValue& v) {
  provider::Cell c;
  c.type = v.type;
  c.i = v.i;
  c.r = v.r;
  c.data = v.bytes.data();
  c.size = v.bytes.size();
  return c;
}

}  // namespace korvo::ado
