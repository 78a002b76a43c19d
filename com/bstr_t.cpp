// com/bstr_t.cpp: the shared string behind _bstr_t.
#include <korvo/com/bstr_t.h>
#include <korvo/com/com_error.h>
#include <korvo/com/variant_t.h>
#include <korvo/platform/codepage.h>

#include <atomic>
#include <cstring>
#include <new>

class _bstr_t::Data {
 public:
  explicit Data(BSTR wide) noexcept : wide_(wide) {}
  ~Data() {
    SysFreeString(wide_);
    delete[] narrow_.load(std::memory_order_relaxed);
  }

  void AddRef() noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }
  bool ReleaseLast() noexcept { return refs_.fetch_sub(1, std::memory_order_acq_rel) == 1; }
  bool Shared() const noexcept { return refs_.load(std::memory_order_acquire) > 1; }

  BSTR& Wide() noexcept { return wide_; }
  // The text changed: the narrow view must be rebuilt.
  void DropNarrow() noexcept { delete[] narrow_.exchange(nullptr, std::memory_order_acq_rel); }

  char* Narrow() {
    char* have = narrow_.load(std::memory_order_acquire);
    if (have != nullptr || wide_ == nullptr) return have;
    int units = static_cast<int>(SysStringLen(wide_));
    int bytes =
        units == 0 ? 0 : WideCharToMultiByte(CP_ACP, 0, wide_, units, nullptr, 0, nullptr, nullptr);
    char* made = new (std::nothrow) char[static_cast<size_t>(bytes) + 1];
    if (made == nullptr) _com_issue_error(E_OUTOFMEMORY);
    if (bytes > 0) WideCharToMultiByte(CP_ACP, 0, wide_, units, made, bytes, nullptr, nullptr);
    made[bytes] = 0;
    // Two threads may build it at once; the first one to publish wins.
    char* expected = nullptr;
    if (!narrow_.compare_exchange_strong(expected, made, std::memory_order_acq_rel)) {
      delete[] made;
      return expected;
    }
    return made;
  }

 private:
  std::atomic<long> refs_{1};
  BSTR wide_;
  std::atomic<char*> narrow_{nullptr};
};

namespace {

BSTR CheckedAlloc(const WCHAR* text, size_t units) {
  BSTR s = SysAllocStringLen(text, static_cast<UINT>(units));
  if (s == nullptr) _com_issue_error(E_OUTOFMEMORY);
  return s;
}

BSTR FromNarrow(const char* text) {
  if (text == nullptr) return nullptr;
  size_t bytes = std::strlen(text);
  if (bytes == 0) return CheckedAlloc(nullptr, 0);
  if (bytes > 0x3FFFFFFF) _com_issue_error(E_OUTOFMEMORY);
  int units = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(bytes), nullptr, 0);
  if (units <= 0) return CheckedAlloc(nullptr, 0);
  BSTR s = CheckedAlloc(nullptr, static_cast<size_t>(units));
  MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(bytes), s, units);
  return s;
}

BSTR FromWide(const WCHAR* text) {
  if (text == nullptr) return nullptr;
  size_t n = 0;
  while (text[n] != 0) ++n;
  return CheckedAlloc(text, n);
}

int Compare(BSTR a, BSTR b) noexcept {
  UINT na = SysStringLen(a), nb = SysStringLen(b);
  UINT n = na < nb ? na : nb;
  for (UINT i = 0; i < n; ++i)
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  return na == nb ? 0 : (na < nb ? -1 : 1);
}

}  // namespace

_bstr_t::Data* _bstr_t::NewData(BSTR wide) {
  auto* data = new (std::nothrow) Data(wide);
  if (data == nullptr) {
    SysFreeString(wide);
    _com_issue_error(E_OUTOFMEMORY);
  }
  return data;
}

_bstr_t::_bstr_t() noexcept : data_(nullptr) {}

_bstr_t::_bstr_t(const _bstr_t& other) noexcept : data_(other.data_) {
  if (data_ != nullptr) data_->AddRef();
}

_bstr_t::_bstr_t(_bstr_t&& other) noexcept : data_(other.data_) { other.data_ = nullptr; }

_bstr_t::_bstr_t(const char* text) : data_(nullptr) {
  BSTR s = FromNarrow(text);
  if (s != nullptr) data_ = NewData(s);
}

_bstr_t::_bstr_t(const WCHAR* text) : data_(nullptr) {
  BSTR s = FromWide(text);
  if (s != nullptr) data_ = NewData(s);
}

_bstr_t::_bstr_t(BSTR bstr, bool copy) : data_(nullptr) {
  if (copy && bstr != nullptr) bstr = CheckedAlloc(bstr, SysStringLen(bstr));
  if (bstr != nullptr) data_ = NewData(bstr);
}

_bstr_t::_bstr_t(const _variant_t& value) : data_(nullptr) {
  if (value.vt == VT_BSTR) {
    if (value.bstrVal != nullptr)
      data_ = NewData(CheckedAlloc(value.bstrVal, SysStringLen(value.bstrVal)));
    return;
  }
  _variant_t text;
  text.ChangeType(VT_BSTR, &value);
  BSTR s = text.bstrVal;
  text.bstrVal = nullptr;
  text.vt = VT_EMPTY;
  if (s != nullptr) data_ = NewData(s);
}

_bstr_t::~_bstr_t() { Release(); }

void _bstr_t::Release() noexcept {
  if (data_ != nullptr && data_->ReleaseLast()) delete data_;
  data_ = nullptr;
}

_bstr_t& _bstr_t::operator=(const _bstr_t& other) noexcept {
  if (data_ != other.data_) {
    if (other.data_ != nullptr) other.data_->AddRef();
    Release();
    data_ = other.data_;
  }
  return *this;
}

_bstr_t& _bstr_t::operator=(_bstr_t&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = other.data_;
    other.data_ = nullptr;
  }
  return *this;
}

// The assignments build the new value first: the text may come from this
// very object.
_bstr_t& _bstr_t::operator=(const char* text) { return *this = _bstr_t(text); }
_bstr_t& _bstr_t::operator=(const WCHAR* text) { return *this = _bstr_t(text); }
_bstr_t& _bstr_t::operator=(const _variant_t& value) { return *this = _bstr_t(value); }

_bstr_t& _bstr_t::operator+=(const _bstr_t& other) { return *this = *this + other; }

_bstr_t _bstr_t::operator+(const _bstr_t& other) const {
  BSTR a = data_ != nullptr ? data_->Wide() : nullptr;
  BSTR b = other.data_ != nullptr ? other.data_->Wide() : nullptr;
  if (a == nullptr && b == nullptr) return _bstr_t();
  size_t na = SysStringLen(a), nb = SysStringLen(b);
  if (na + nb > 0x3FFFFFFF) _com_issue_error(E_OUTOFMEMORY);
  BSTR s = CheckedAlloc(nullptr, na + nb);
  if (na > 0) std::memcpy(s, a, na * sizeof(WCHAR));
  if (nb > 0) std::memcpy(s + na, b, nb * sizeof(WCHAR));
  return _bstr_t(NewData(s));
}

_bstr_t operator+(const char* left, const _bstr_t& right) { return _bstr_t(left) + right; }
_bstr_t operator+(const WCHAR* left, const _bstr_t& right) { return _bstr_t(left) + right; }

_bstr_t::operator const WCHAR*() const noexcept {
  return data_ != nullptr ? data_->Wide() : nullptr;
}
_bstr_t::operator WCHAR*() const noexcept { return data_ != nullptr ? data_->Wide() : nullptr; }
_bstr_t::operator const char*() const { return data_ != nullptr ? data_->Narrow() : nullptr; }
_bstr_t::operator char*() const { return data_ != nullptr ? data_->Narrow() : nullptr; }

bool _bstr_t::operator!() const noexcept { return length() == 0; }

bool _bstr_t::operator==(const _bstr_t& other) const noexcept {
  return Compare(static_cast<WCHAR*>(*this), static_cast<WCHAR*>(other)) == 0;
}
bool _bstr_t::operator!=(const _bstr_t& other) const noexcept { return !(*this == other); }
bool _bstr_t::operator<(const _bstr_t& other) const noexcept {
  return Compare(static_cast<WCHAR*>(*this), static_cast<WCHAR*>(other)) < 0;
}
bool _bstr_t::operator>(const _bstr_t& other) const noexcept { return other < *this; }
bool _bstr_t::operator<=(const _bstr_t& other) const noexcept { return !(other < *this); }
bool _bstr_t::operator>=(const _bstr_t& other) const noexcept { return !(*this < other); }

BSTR _bstr_t::copy(bool copy) const {
  BSTR s = data_ != nullptr ? data_->Wide() : nullptr;
  if (!copy || s == nullptr) return s;
  return CheckedAlloc(s, SysStringLen(s));
}

unsigned int _bstr_t::length() const noexcept {
  return data_ != nullptr ? SysStringLen(data_->Wide()) : 0;
}

std::wstring _bstr_t::GetStdWString() const {
  std::wstring text;
  if (data_ != nullptr && data_->Wide() != nullptr) {
    korvo::Utf16ToUtf32(std::u16string_view(data_->Wide(), length()), text,
                        korvo::InvalidText::kReplace);
  }
  return text;
}

void _bstr_t::Assign(BSTR bstr) { *this = _bstr_t(bstr, true); }

void _bstr_t::Unshare() {
  if (data_ == nullptr) {
    data_ = NewData(nullptr);
  } else if (data_->Shared()) {
    BSTR s = data_->Wide();
    *this = _bstr_t(s, true);
    if (data_ == nullptr) data_ = NewData(nullptr);
  }
  data_->DropNarrow();
}

BSTR& _bstr_t::GetBSTR() {
  Unshare();
  return data_->Wide();
}

BSTR* _bstr_t::GetAddress() {
  Unshare();
  SysFreeString(data_->Wide());
  data_->Wide() = nullptr;
  return &data_->Wide();
}

void _bstr_t::Attach(BSTR bstr) {
  Release();
  if (bstr != nullptr) data_ = NewData(bstr);
}

BSTR _bstr_t::Detach() {
  if (data_ == nullptr) return nullptr;
  if (data_->Shared()) {
    BSTR copy = this->copy(true);
    Release();
    return copy;
  }
  BSTR s = data_->Wide();
  data_->Wide() = nullptr;
  Release();
  return s;
}
