// com/com_error.cpp: _com_error and the raising helpers.
#include <korvo/com/com_error.h>

#include <cstdio>

namespace {

struct Message {
  HRESULT hr;
  const char* text;
};

// Readable texts of the HRESULTs Korvo produces (English, as the system
// messages of the original platform read).
constexpr Message kMessages[] = {
    {S_OK, "The operation completed successfully."},
    {S_FALSE, "Incorrect function."},
    {E_NOTIMPL, "Not implemented"},
    {E_NOINTERFACE, "No such interface supported"},
    {E_POINTER, "Invalid pointer"},
    {E_ABORT, "Operation aborted"},
    {E_FAIL, "Unspecified error"},
    {E_UNEXPECTED, "Catastrophic failure"},
    {E_ACCESSDENIED, "Access is denied."},
    {E_HANDLE, "The handle is invalid."},
    {E_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
    {E_INVALIDARG, "The parameter is incorrect."},
    {CO_E_NOTINITIALIZED, "CoInitialize has not been called."},
    {CO_E_CLASSSTRING, "Invalid class string"},
    {RPC_E_CHANGED_MODE, "Cannot change thread mode after it is set."},
    {CLASS_E_NOAGGREGATION, "Class does not support aggregation (or class object is remote)"},
    {CLASS_E_CLASSNOTAVAILABLE, "ClassFactory cannot supply requested class"},
    {REGDB_E_CLASSNOTREG, "Class not registered"},
    {DISP_E_UNKNOWNINTERFACE, "Unknown interface."},
    {DISP_E_MEMBERNOTFOUND, "Member not found."},
    {DISP_E_PARAMNOTFOUND, "Parameter not found."},
    {DISP_E_TYPEMISMATCH, "Type mismatch."},
    {DISP_E_UNKNOWNNAME, "Unknown name."},
    {DISP_E_BADVARTYPE, "Bad variable type."},
    {DISP_E_EXCEPTION, "Exception occurred."},
    {DISP_E_OVERFLOW, "Out of present range."},
    {DISP_E_BADINDEX, "Invalid index."},
    {DISP_E_ARRAYISLOCKED, "Memory is locked."},
    {DISP_E_BADPARAMCOUNT, "Invalid number of parameters."},
};

HRESULT FetchText(IErrorInfo* info, HRESULT (IErrorInfo::*getter)(BSTR*), _bstr_t* out) {
  if (info == nullptr) return S_FALSE;
  BSTR text = nullptr;
  HRESULT hr = (info->*getter)(&text);
  if (SUCCEEDED(hr)) out->Attach(text);
  return hr;
}

}  // namespace

_com_error::_com_error(HRESULT hr, IErrorInfo* info, bool addRef) noexcept
    : hr_(hr), info_(info), message_{} {
  if (info_ != nullptr && addRef) info_->AddRef();
}

_com_error::_com_error(const _com_error& other) noexcept
    : hr_(other.hr_), info_(other.info_), message_{} {
  if (info_ != nullptr) info_->AddRef();
}

_com_error& _com_error::operator=(const _com_error& other) noexcept {
  if (this != &other) {
    if (other.info_ != nullptr) other.info_->AddRef();
    if (info_ != nullptr) info_->Release();
    hr_ = other.hr_;
    info_ = other.info_;
    message_[0] = 0;
  }
  return *this;
}

_com_error::~_com_error() {
  if (info_ != nullptr) info_->Release();
}

IErrorInfo* _com_error::ErrorInfo() const noexcept {
  if (info_ != nullptr) info_->AddRef();
  return info_;
}

_bstr_t _com_error::Description() const {
  _bstr_t text;
  FetchText(info_, &IErrorInfo::GetDescription, &text);
  return text;
}

_bstr_t _com_error::Source() const {
  _bstr_t text;
  FetchText(info_, &IErrorInfo::GetSource, &text);
  return text;
}

_bstr_t _com_error::HelpFile() const {
  _bstr_t text;
  FetchText(info_, &IErrorInfo::GetHelpFile, &text);
  return text;
}

DWORD _com_error::HelpContext() const noexcept {
  DWORD context = 0;
  if (info_ != nullptr) info_->GetHelpContext(&context);
  return context;
}

::GUID _com_error::GUID() const noexcept {
  ::GUID guid = GUID_NULL;
  if (info_ != nullptr) info_->GetGUID(&guid);
  return guid;
}

const char* _com_error::ErrorMessage() const noexcept {
  for (const Message& m : kMessages)
    if (m.hr == hr_) return m.text;
  if (message_[0] == 0) {
    WORD code = WCode();
    if (code != 0)
      std::snprintf(message_, sizeof message_, "IDispatch error #%u", static_cast<unsigned>(code));
    else
      std::snprintf(message_, sizeof message_, "Unknown error 0x%08X", static_cast<unsigned>(hr_));
  }
  return message_;
}

HRESULT _com_error::WCodeToHRESULT(WORD wCode) noexcept {
  return wCode >= 0xFE00 ? KORVO_HR(0x80040200) : static_cast<HRESULT>(0x80040200u + wCode);
}

WORD _com_error::HRESULTToWCode(HRESULT hr) noexcept {
  uint32_t u = static_cast<uint32_t>(hr);
  return (u >= 0x80040200u && u <= 0x8004FFFFu) ? static_cast<WORD>(u - 0x80040200u) : 0;
}

void _com_issue_error(HRESULT hr) { throw _com_error(hr); }

void _com_issue_errorex(HRESULT hr, IUnknown*, REFIID) {
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) != S_OK) info = nullptr;
  throw _com_error(hr, info);
}

void _com_raise_error(HRESULT hr, IErrorInfo* info) { throw _com_error(hr, info); }
