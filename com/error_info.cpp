// com/error_info.cpp: the error record object and the per-thread slot.
#include <korvo/com/error_info.h>
#include <korvo/com/error_info_internal.h>
#include <korvo/com/object.h>
#include <korvo/platform/codepage.h>
#include <korvo/platform/hot_internal.h>
#include <korvo/platform/thread_annotations.h>

#include <atomic>
#include <string>

namespace {

// One record; the setters may be called while it is being read elsewhere,
// so its fields are guarded.
class ErrorInfo final : public korvo::com::Object<IErrorInfo, ICreateErrorInfo> {
 public:
  HRESULT GetGUID(GUID* out) override {
    if (out == nullptr) return E_POINTER;
    korvo::platform::MutexLock lock(mutex_);
    *out = guid_;
    return S_OK;
  }
  HRESULT GetSource(BSTR* out) override {
    korvo::platform::MutexLock lock(mutex_);
    return Read(source_, out);
  }
  HRESULT GetDescription(BSTR* out) override {
    korvo::platform::MutexLock lock(mutex_);
    return Read(description_, out);
  }
  HRESULT GetHelpFile(BSTR* out) override {
    korvo::platform::MutexLock lock(mutex_);
    return Read(helpFile_, out);
  }
  HRESULT GetHelpContext(DWORD* out) override {
    if (out == nullptr) return E_POINTER;
    korvo::platform::MutexLock lock(mutex_);
    *out = helpContext_;
    return S_OK;
  }

  HRESULT SetGUID(REFGUID guid) override {
    korvo::platform::MutexLock lock(mutex_);
    guid_ = guid;
    return S_OK;
  }
  HRESULT SetSource(LPOLESTR text) override {
    korvo::platform::MutexLock lock(mutex_);
    return Write(source_, text);
  }
  HRESULT SetDescription(LPOLESTR text) override {
    korvo::platform::MutexLock lock(mutex_);
    return Write(description_, text);
  }
  HRESULT SetHelpFile(LPOLESTR text) override {
    korvo::platform::MutexLock lock(mutex_);
    return Write(helpFile_, text);
  }
  HRESULT SetHelpContext(DWORD context) override {
    korvo::platform::MutexLock lock(mutex_);
    helpContext_ = context;
    return S_OK;
  }

 private:
  struct Text {
    bool set = false;
    std::u16string value;
  };

  // The callers hold the lock, as they pass a guarded field.
  HRESULT Read(const Text& text, BSTR* out) KORVO_REQUIRES(mutex_) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (!text.set) return S_OK;
    *out = SysAllocStringLen(text.value.data(), static_cast<UINT>(text.value.size()));
    return *out == nullptr ? E_OUTOFMEMORY : S_OK;
  }
  HRESULT Write(Text& text, const OLECHAR* value) KORVO_REQUIRES(mutex_) {
    try {
      text.value = value != nullptr ? std::u16string(value) : std::u16string();
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
    text.set = value != nullptr;
    return S_OK;
  }

  korvo::platform::Mutex mutex_;
  GUID guid_ KORVO_GUARDED_BY(mutex_) = GUID_NULL;
  Text source_ KORVO_GUARDED_BY(mutex_);
  Text description_ KORVO_GUARDED_BY(mutex_);
  Text helpFile_ KORVO_GUARDED_BY(mutex_);
  DWORD helpContext_ KORVO_GUARDED_BY(mutex_) = 0;
};

// How many threads' slots hold a record. ClearErrorInfo, which every ADO
// call that succeeds makes, leaves the slot alone while none does: the
// lookup of a shared library's thread_local costs more than the clearing.
// A thread always sees its own changes of the count, so it never reads 0
// while its own slot holds a record.
std::atomic<long> g_heldRecords{0};

// The thread's record; released when the thread ends.
struct ThreadSlot {
  IErrorInfo* info = nullptr;
  ~ThreadSlot() { Reset(nullptr); }
  void Reset(IErrorInfo* next) {
    IErrorInfo* old = info;
    info = next;
    Count(old, next);
    if (old != nullptr) old->Release();
  }
  IErrorInfo* Take() {
    IErrorInfo* taken = info;
    info = nullptr;
    Count(taken, nullptr);
    return taken;
  }
  static void Count(const IErrorInfo* old, const IErrorInfo* next) {
    if (old == nullptr && next != nullptr) g_heldRecords.fetch_add(1, std::memory_order_relaxed);
    if (old != nullptr && next == nullptr) g_heldRecords.fetch_sub(1, std::memory_order_relaxed);
  }
};
thread_local ThreadSlot t_slot;

std::u16string Widen(const char* text) {
  std::u16string out;
  int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (n <= 0) return out;
  out.resize(static_cast<size_t>(n));
  n = MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(), n);
  out.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
  return out;
}

}  // namespace

HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info) {
  if (reserved != 0) return E_INVALIDARG;
  if (info != nullptr) info->AddRef();
  t_slot.Reset(info);
  return S_OK;
}

HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (reserved != 0) return E_INVALIDARG;
  *out = t_slot.Take();
  return *out != nullptr ? S_OK : S_FALSE;
}

HRESULT CreateErrorInfo(ICreateErrorInfo** out) {
  return korvo::com::CreateObject<ErrorInfo>(IID_ICreateErrorInfo, reinterpret_cast<void**>(out));
}

namespace korvo::com {

HRESULT ReportError(HRESULT hr, const WCHAR* description, const WCHAR* source) {
  ICreateErrorInfo* create = nullptr;
  if (FAILED(CreateErrorInfo(&create))) {
    ClearErrorInfo();  // better no record than a stale one
    return hr;
  }
  create->SetDescription(const_cast<LPOLESTR>(description));
  create->SetSource(const_cast<LPOLESTR>(source));
  IErrorInfo* info = nullptr;
  if (SUCCEEDED(create->QueryInterface(&info))) {
    SetErrorInfo(0, info);
    info->Release();
  }
  create->Release();
  return hr;
}

HRESULT ReportErrorA(HRESULT hr, const char* description, const char* source) {
  std::u16string d, s;
  if (description != nullptr) d = Widen(description);
  if (source != nullptr) s = Widen(source);
  return ReportError(hr, description != nullptr ? d.c_str() : nullptr,
                     source != nullptr ? s.c_str() : nullptr);
}

KORVO_HOT void ClearErrorInfo() {
  if (g_heldRecords.load(std::memory_order_relaxed) != 0) t_slot.Reset(nullptr);
}

namespace detail {
void ReleaseThreadErrorInfo() { t_slot.Reset(nullptr); }
}  // namespace detail

}  // namespace korvo::com
