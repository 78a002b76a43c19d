// ado/edit_buffer.cpp: the field values a recordset collects between
// AddNew or the first Value put and the Update that writes them.
#include <korvo/ado/edit_buffer_internal.h>

#include <utility>

namespace korvo::ado {

using provider::CellType;

void EditBuffer::Reset(size_t columns) {
  mode = adEditNone;
  if (changed.size() != columns) {
    changed.assign(columns, 0);
    values.resize(columns);
  }
  for (const int c : changed_list) changed[static_cast<size_t>(c)] = 0;
  changed_list.clear();
}

void EditBuffer::Assign(int column, provider::ParamValue&& value, bool chunk) {
  const auto c = static_cast<size_t>(column);
  provider::ParamValue& target = values[c];
  if (chunk && changed[c] == 2 && target.type != CellType::kNull && value.type != CellType::kNull) {
    target.bytes += value.bytes;
  } else {
    target = std::move(value);
  }
  MarkPut(column, chunk);
}

}  // namespace korvo::ado
