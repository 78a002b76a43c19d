// ado/parameter.cpp: the Parameter object and the Parameters collection.
#include <korvo/ado/command_internal.h>
#include <korvo/ado/value_internal.h>
#include <korvo/com/error_info.h>

namespace korvo::ado {
namespace {

class ParametersObject final : public com::Object<Parameters> {
 public:
  HRESULT get_Count(long* out) override { return Out(out, static_cast<long>(items_.size())); }

  HRESULT get_Item(VARIANT index, _Parameter** out) override {
    if (out == nullptr) return ReportAdo(kEPointer);
    *out = nullptr;
    const long i = Find(index);
    if (i < 0) return ReportAdo(kAdoItemNotFound);
    return OutInterface(out, items_[static_cast<size_t>(i)].GetInterfacePtr());
  }

  HRESULT raw_Append(IDispatch* object) override {
    com::ClearErrorInfo();
    ImplRef<ParameterObject> impl(object, kParameterImplIid);
    if (!impl)
      return ReportAdo(kEInvalidArg, "Only a Parameter object can be appended to Parameters.");
    items_.emplace_back(static_cast<_Parameter*>(impl.p));
    return kSOk;
  }

  HRESULT raw_Delete(VARIANT index) override {
    const long i = Find(index);
    if (i < 0) return ReportAdo(kAdoItemNotFound);
    items_.erase(items_.begin() + i);
    return kSOk;
  }

  HRESULT raw_Refresh() override { return kSOk; }

 private:
  long Find(const VARIANT& index) {
    long position = -1;
    std::string name;
    bool by_name = false;
    if (!ParseIndex(index, &position, &name, &by_name)) return -1;
    if (!by_name)
      return position >= 0 && static_cast<size_t>(position) < items_.size() ? position : -1;
    for (size_t i = 0; i < items_.size(); ++i) {
      if (EqualNames(static_cast<ParameterObject*>(items_[i].GetInterfacePtr())->name, name))
        return static_cast<long>(i);
    }
    return -1;
  }

  std::vector<_ParameterPtr> items_;
};

}  // namespace

HRESULT CreateParametersCollection(Parameters** out) {
  return com::CreateObject<ParametersObject>(KORVO_UUIDOF(Parameters),
                                             reinterpret_cast<void**>(out));
}

HRESULT ParameterObject::get_Name(BSTR* out) { return OutText(out, name); }
HRESULT ParameterObject::put_Name(BSTR text) {
  name = BstrToUtf8(text);
  return kSOk;
}
HRESULT ParameterObject::get_Value(VARIANT* out) {
  if (out == nullptr) return ReportAdo(kEPointer);
  VariantInit(out);
  const HRESULT hr = VariantCopy(out, &value);
  return FAILED(hr) ? ReportAdo(hr) : kSOk;
}
HRESULT ParameterObject::put_Value(VARIANT v) {
  _variant_t copy;
  const HRESULT hr = VariantCopyInd(&copy, &v);
  if (FAILED(hr)) return ReportAdo(hr);
  value = std::move(copy);
  return kSOk;
}
HRESULT ParameterObject::get_Type(DataTypeEnum* out) { return Out(out, type); }
HRESULT ParameterObject::put_Type(DataTypeEnum t) {
  if (!IsKnownDataType(t))
    return ReportAdo(AdoError(adErrInvalidArgument),
                     "Unknown parameter data type " + std::to_string(t) + ".");
  type = t;
  return kSOk;
}
HRESULT ParameterObject::get_Direction(ParameterDirectionEnum* out) { return Out(out, direction); }
HRESULT ParameterObject::put_Direction(ParameterDirectionEnum d) {
  if (d < adParamUnknown || d > adParamReturnValue)
    return ReportAdo(AdoError(adErrInvalidArgument));
  direction = d;
  return kSOk;
}
HRESULT ParameterObject::get_Precision(unsigned char* out) { return Out(out, precision); }
HRESULT ParameterObject::put_Precision(unsigned char p) {
  precision = p;
  return kSOk;
}
HRESULT ParameterObject::get_NumericScale(unsigned char* out) { return Out(out, scale); }
HRESULT ParameterObject::put_NumericScale(unsigned char s) {
  scale = s;
  return kSOk;
}
HRESULT ParameterObject::get_Size(long* out) { return Out(out, size); }
HRESULT ParameterObject::put_Size(long s) {
  if (s < 0) return ReportAdo(AdoError(adErrInvalidArgument));
  size = s;
  return kSOk;
}
HRESULT ParameterObject::get_Attributes(long* out) { return Out(out, attributes); }
HRESULT ParameterObject::put_Attributes(long a) {
  attributes = a;
  return kSOk;
}

}  // namespace korvo::ado
