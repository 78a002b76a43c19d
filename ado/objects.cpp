// ado/objects.cpp: the small objects of the model (Error, Errors,
// Property, Properties) and the error-recording helpers all objects use.
#include <korvo/ado/ascii_case_internal.h>
#include <korvo/ado/object_internal.h>
#include <korvo/ado/value_internal.h>
#include <korvo/com/error_info.h>
#include <korvo/com/object.h>
#include <korvo/com/variant_integer_internal.h>

#include <optional>

namespace korvo::ado {
namespace {

using provider::ErrorRecord;

std::string AdoText(HRESULT hr) {
  switch (static_cast<uint32_t>(hr)) {
    case 0x800A0BCD:
      return "Either BOF or EOF is True, or the current record has been deleted. Requested "
             "operation requires a current record.";
    case 0x800A0C93:
      return "Operation is not allowed in this context.";
    case 0x800A0CB3:
      return "Current Recordset does not support updating. This may be a limitation of the "
             "provider, or of the selected locktype.";
    case 0x800A0CC1:
      return "Item cannot be found in the collection corresponding to the requested name or "
             "ordinal.";
    case 0x800A0BB9:
      return "Arguments are of the wrong type, are out of acceptable range, or are in conflict "
             "with one another.";
    case 0x800A0D5D:
      return "Application uses a value of the wrong type for the current operation.";
    case 0x800A0E78:
      return "Operation is not allowed when the object is closed.";
    case 0x800A0E79:
      return "Operation is not allowed when the object is open.";
    case 0x800A0E7A:
      return "Provider cannot be found. It may not be properly installed.";
    case 0x800A0E7D:
      return "The connection cannot be used to perform this operation. It is either closed or "
             "invalid in this context.";
    case 0x80040E24:
      return "Rowset does not support fetching backward.";
    case 0x8004D00E:
      return "No transaction is active.";
    case 0x800A0CAE:
      return "Connection object cannot be explicitly closed while in a transaction.";
    case 0x80040E0C:
      return "Command text was not set for the command object.";
    case 0x80004003:
      return "Invalid pointer.";
    case 0x80070057:
      return "The parameter is incorrect.";
    case 0x8007000E:
      return "Not enough memory.";
    default:
      return "Unspecified error.";
  }
}

class ErrorObject final : public com::Object<Error> {
 public:
  explicit ErrorObject(ErrorRecord record) : record_(std::move(record)) {}
  HRESULT get_Number(long* out) override { return Out(out, static_cast<long>(record_.hr)); }
  HRESULT get_Source(BSTR* out) override { return OutText(out, record_.source); }
  HRESULT get_Description(BSTR* out) override { return OutText(out, record_.description); }
  HRESULT get_SQLState(BSTR* out) override { return OutText(out, record_.sqlstate); }
  HRESULT get_NativeError(long* out) override {
    return Out(out, static_cast<long>(record_.native));
  }

 private:
  ErrorRecord record_;
};

class ErrorsObject final : public com::Object<Errors> {
 public:
  explicit ErrorsObject(std::shared_ptr<std::vector<ErrorRecord>> records)
      : records_(std::move(records)) {}
  HRESULT get_Count(long* out) override { return Out(out, static_cast<long>(records_->size())); }
  HRESULT get_Item(VARIANT index, Error** out) override {
    if (!out) return ReportAdo(kEPointer);
    *out = nullptr;
    long position = 0;
    std::string name;
    bool by_name = false;
    if (!ParseIndex(index, &position, &name, &by_name) || by_name || position < 0 ||
        static_cast<size_t>(position) >= records_->size()) {
      return ReportAdo(kAdoItemNotFound);
    }
    return CreateError((*records_)[static_cast<size_t>(position)], out);
  }
  HRESULT raw_Clear() override {
    records_->clear();
    return kSOk;
  }
  HRESULT raw_Refresh() override { return kSOk; }

 private:
  std::shared_ptr<std::vector<ErrorRecord>> records_;
};

class PropertyObject final : public com::Object<Property> {
 public:
  explicit PropertyObject(std::shared_ptr<PropertyDef> def) : def_(std::move(def)) {}
  HRESULT get_Value(VARIANT* out) override {
    if (!out) return ReportAdo(kEPointer);
    VariantInit(out);
    return def_->get(out);
  }
  HRESULT put_Value(VARIANT value) override {
    if (!def_->put)
      return ReportAdo(kAdoNotAllowed, "The property \"" + def_->name + "\" is read-only.");
    return def_->put(value);
  }
  HRESULT get_Name(BSTR* out) override { return OutText(out, def_->name); }
  HRESULT get_Type(DataTypeEnum* out) override { return Out(out, def_->type); }
  HRESULT get_Attributes(long* out) override {
    return Out(out, def_->attributes | (def_->put ? long{adPropWrite} : 0L));
  }

 private:
  std::shared_ptr<PropertyDef> def_;
};

class PropertiesObject final : public com::Object<Properties> {
 public:
  explicit PropertiesObject(std::vector<PropertyDef> defs) {
    for (auto& d : defs) defs_.push_back(std::make_shared<PropertyDef>(std::move(d)));
  }
  HRESULT get_Count(long* out) override { return Out(out, static_cast<long>(defs_.size())); }
  HRESULT get_Item(VARIANT index, Property** out) override {
    if (!out) return ReportAdo(kEPointer);
    *out = nullptr;
    long position = -1;
    std::string name;
    bool by_name = false;
    if (!ParseIndex(index, &position, &name, &by_name)) return ReportAdo(kAdoItemNotFound);
    for (size_t i = 0; i < defs_.size(); ++i) {
      if (by_name ? EqualNames(defs_[i]->name, name) : static_cast<long>(i) == position) {
        return com::CreateObject<PropertyObject>(KORVO_UUIDOF(Property),
                                                 reinterpret_cast<void**>(out), defs_[i]);
      }
    }
    return ReportAdo(kAdoItemNotFound,
                     by_name ? AdoText(kAdoItemNotFound) + " (\"" + name + "\")" : "");
  }
  HRESULT raw_Refresh() override { return kSOk; }

 private:
  std::vector<std::shared_ptr<PropertyDef>> defs_;
};

}  // namespace

ErrorRecord AdoRecord(HRESULT hr, std::string description) {
  ErrorRecord record;
  record.hr = hr;
  record.description = description.empty() ? AdoText(hr) : std::move(description);
  record.sqlstate = "HY000";
  record.source = kAdoSource;
  return record;
}

HRESULT Report(const ErrorRecord& record) {
  const std::u16string description = platform::Utf8ToUtf16(record.description);
  const std::u16string source =
      platform::Utf8ToUtf16(record.source.empty() ? kAdoSource : record.source);
  return com::ReportError(record.hr, description.c_str(), source.c_str());
}

HRESULT OutText(BSTR* out, const std::string& utf8) {
  if (out == nullptr) return ReportAdo(kEPointer);
  *out = Utf8ToBstr(utf8.data(), utf8.size());
  return *out ? kSOk : ReportAdo(kEOutOfMemory);
}

std::optional<ErrorRecord> NulRecord(BSTR text, const char* what, HRESULT hr) {
  const UINT length = SysStringLen(text);
  for (UINT i = 0; i < length; ++i) {
    if (text[i] == 0) {
      return AdoRecord(
          hr, std::string(what) + " contains a NUL character at position " + std::to_string(i) +
                  " (counting from 0); text with an embedded NUL is refused, not cut.");
    }
  }
  return std::nullopt;
}

HRESULT ReportAdo(HRESULT hr, std::string description) {
  return Report(AdoRecord(hr, std::move(description)));
}

bool ParseIndex(const VARIANT& index, long* position, std::string* name, bool* by_name) {
  const VARIANT* v = &index;
  if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal != nullptr) v = v->pvarVal;
  *by_name = false;
  if (const std::optional<long long> integer = com::SignedIntegerOf(*v)) {
    *position = static_cast<long>(*integer);
    return true;
  }
  switch (v->vt) {
    case VT_R8:
      *position = static_cast<long>(v->dblVal);
      return v->dblVal == static_cast<double>(*position);
    case VT_I2 | VT_BYREF:
      *position = *v->piVal;
      return true;
    case VT_I4 | VT_BYREF:
      *position = *v->plVal;
      return true;
    case VT_BSTR:
      *name = BstrToUtf8(v->bstrVal);
      *by_name = true;
      return true;
    default:
      return false;
  }
}

bool EqualNames(std::string_view a, std::string_view b) { return EqualNoCase(a, b); }

HRESULT CreateErrors(std::shared_ptr<std::vector<ErrorRecord>> records, Errors** out) {
  return com::CreateObject<ErrorsObject>(KORVO_UUIDOF(Errors), reinterpret_cast<void**>(out),
                                         std::move(records));
}

HRESULT CreateError(const ErrorRecord& record, Error** out) {
  return com::CreateObject<ErrorObject>(KORVO_UUIDOF(Error), reinterpret_cast<void**>(out), record);
}

HRESULT CreateProperties(std::vector<PropertyDef> defs, Properties** out) {
  return com::CreateObject<PropertiesObject>(KORVO_UUIDOF(Properties),
                                             reinterpret_cast<void**>(out), std::move(defs));
}

}  // namespace korvo::ado
