// ado/object_internal.h: what the object model's classes share: the way a
// failing method records its error, ADO's own error texts, collection
// index parsing, and the private identifiers through which one object
// finds the implementation behind another's interface.
#pragma once

#include <korvo/ado/ado.h>
#include <korvo/ado/hresult_internal.h>
#include <korvo/ado/providers/provider.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvo::ado {

class ConnectionObject;
class CommandObject;
class ParameterObject;

// QueryInterface with these returns the implementation object (AddRef'd)
// of Korvo's own connections, commands and parameters, so that an object
// handed over as an interface can be trusted and used directly.
inline constexpr IID kConnectionImplIid =
    korvo::com::GuidFromText("6b6f7276-6f00-4ad0-8001-000000000001");
inline constexpr IID kCommandImplIid =
    korvo::com::GuidFromText("6b6f7276-6f00-4ad0-8001-000000000002");
inline constexpr IID kParameterImplIid =
    korvo::com::GuidFromText("6b6f7276-6f00-4ad0-8001-000000000003");

inline constexpr const char* kAdoSource = "Korvo ADO";

// A record of the object model's own, with ADO's text for its numbers
// (3021, 3265, 3704, ...) when `description` is empty.
provider::ErrorRecord AdoRecord(HRESULT hr, std::string description = {});

// Records `record`'s description (and source) as the thread's error
// information and returns its HRESULT.
HRESULT Report(const provider::ErrorRecord& record);
// Report(AdoRecord(hr, description)).
HRESULT ReportAdo(HRESULT hr, std::string description = {});

// Out-argument helpers of the raw getters: E_POINTER for a null out.
template <class T>
HRESULT Out(T* out, T value) {
  if (out == nullptr) return ReportAdo(kEPointer);
  *out = value;
  return kSOk;
}
HRESULT OutText(BSTR* out, const std::string& utf8);
// A time-out property's setter: 3001 for a negative count of seconds.
inline HRESULT PutSeconds(long* target, long seconds) {
  if (seconds < 0)
    return ReportAdo(AdoError(adErrInvalidArgument), "A time-out cannot be negative.");
  *target = seconds;
  return kSOk;
}
// An interface out argument: AddRef'd copy of `p` (may be null).
template <class I>
HRESULT OutInterface(I** out, I* p) {
  if (out == nullptr) return ReportAdo(kEPointer);
  *out = p;
  if (p) p->AddRef();
  return kSOk;
}

// Wide text a caller gives (a connect string, a statement) must not hide
// a NUL: the engines take NUL-terminated text and would silently run only
// what comes before it. The record refusing `text` when it holds one
// (`what` names the text, e.g. "The connect string"), with the NUL's
// position in UTF-16 characters counting from 0; nullopt when it holds none.
std::optional<provider::ErrorRecord> NulRecord(BSTR text, const char* what, HRESULT hr);

// A collection index: an integer VARIANT (any integer type, by reference
// too) gives *position; a VT_BSTR gives *name. False for anything else.
bool ParseIndex(const VARIANT& index, long* position, std::string* name, bool* by_name);
// Case-insensitive comparison of ASCII letters in UTF-8 names.
bool EqualNames(std::string_view a, std::string_view b);

// The implementation behind an interface pointer of Korvo's own, holding
// one reference; null for a foreign object.
template <class Impl>
struct ImplRef {
  Impl* p = nullptr;
  ImplRef() = default;
  ImplRef(IUnknown* unknown, REFIID iid) {
    if (unknown != nullptr) unknown->QueryInterface(iid, reinterpret_cast<void**>(&p));
  }
  ImplRef(const ImplRef&) = delete;
  ImplRef& operator=(const ImplRef&) = delete;
  ~ImplRef() {
    if (p) p->Release();
  }
  Impl* operator->() const { return p; }
  explicit operator bool() const { return p != nullptr; }
};

// Makes the Errors collection view of `records`, shared with its owner.
HRESULT CreateErrors(std::shared_ptr<std::vector<provider::ErrorRecord>> records, Errors** out);
HRESULT CreateError(const provider::ErrorRecord& record, Error** out);

// One entry of a Properties collection.
struct PropertyDef {
  std::string name;
  DataTypeEnum type = adBSTR;
  long attributes = adPropRead;
  // Reads the value into an empty VARIANT; writes (null: read-only).
  std::function<HRESULT(VARIANT*)> get;
  std::function<HRESULT(const VARIANT&)> put;
};
HRESULT CreateProperties(std::vector<PropertyDef> defs, Properties** out);

}  // namespace korvo::ado
