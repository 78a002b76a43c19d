// ado/fields.cpp: the Fields collection of a recordset, by position or
// by name (compared without case).
#include <korvo/ado/object_internal.h>
#include <korvo/ado/recordset_data_internal.h>

namespace korvo::ado {
namespace {

class FieldsObject final : public com::Object<Fields> {
 public:
  explicit FieldsObject(std::shared_ptr<RecordsetData> data) {
    if (!data->cursor) return;
    const auto& columns = data->cursor->columns();
    for (size_t i = 0; i < columns.size(); ++i) {
      Field* f = nullptr;
      CreateFieldObject(data, static_cast<int>(i), &f);
      fields_.emplace_back(f, false);
      names_.push_back(columns[i].name);
    }
  }
  HRESULT get_Count(long* out) override { return Out(out, static_cast<long>(fields_.size())); }
  HRESULT get_Item(VARIANT index, Field** out) override {
    if (out == nullptr) return ReportAdo(kEPointer);
    *out = nullptr;
    long position = -1;
    std::string name;
    bool by_name = false;
    if (!ParseIndex(index, &position, &name, &by_name)) return ReportAdo(kAdoItemNotFound);
    if (by_name) {
      position = -1;
      for (size_t i = 0; i < names_.size(); ++i) {
        if (EqualNames(names_[i], name)) {
          position = static_cast<long>(i);
          break;
        }
      }
    }
    if (position < 0 || static_cast<size_t>(position) >= fields_.size()) {
      return ReportAdo(kAdoItemNotFound);
    }
    return OutInterface(out, fields_[static_cast<size_t>(position)].GetInterfacePtr());
  }
  HRESULT raw_Refresh() override { return kSOk; }

  long size() const { return static_cast<long>(fields_.size()); }
  Field* at(long i) const { return fields_[static_cast<size_t>(i)].GetInterfacePtr(); }

 private:
  std::vector<FieldPtr> fields_;
  std::vector<std::string> names_;
};

}  // namespace

long FieldCount(Fields* fields) { return fields ? static_cast<FieldsObject*>(fields)->size() : 0; }

Field* FieldAt(Fields* fields, long column) {
  return static_cast<FieldsObject*>(fields)->at(column);
}

HRESULT CreateFieldsObject(std::shared_ptr<RecordsetData> data, Fields** out) {
  return com::CreateObject<FieldsObject>(KORVO_UUIDOF(Fields), reinterpret_cast<void**>(out),
                                         std::move(data));
}

}  // namespace korvo::ado
