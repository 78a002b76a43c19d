// com/com_ptr.h: _com_ptr_t, the reference-counting interface smart pointer,
// and the macro that names one for an interface.
//
//   struct IWidget : IUnknown { ... };
//   KORVO_DEFINE_UUID(IWidget, "...")
//   _COM_SMARTPTR_TYPEDEF(IWidget, __uuidof(IWidget));   // IWidgetPtr
//
//   IWidgetPtr w;
//   HRESULT hr = w.CreateInstance(__uuidof(WidgetClass));  // or u"Korvo.Widget"
//   w->Frob();           // raises _com_error(E_POINTER) while w is null
//
// The pointer holds one reference while it is not null. Construction or
// assignment from a pointer to another interface (raw or smart) asks that
// object for this interface with QueryInterface (null when it has none).
// Operations that need an object raise _com_error(E_POINTER) when the
// pointer is null; the ones that return an HRESULT never raise.
// `&p` is for out arguments: it releases what p holds and yields the
// address of its slot. Code that needs the smart pointer's own address
// uses std::addressof(p).
// Thread-safety: one object, one thread at a time; copies are independent.
#pragma once

#include <korvo/com/class_registry.h>
#include <korvo/com/com_error.h>
#include <korvo/com/guid.h>
#include <korvo/com/unknown.h>
#include <korvo/com/variant_t.h>

#include <cstddef>
#include <memory>
#include <type_traits>
#include <utility>

// Binds an interface type to the address of its identifier.
template <class I, const IID* piid>
class _com_IIID {
 public:
  typedef I Interface;
  static const IID& GetIID() noexcept { return *piid; }
};

template <class IIIDType>
class _com_ptr_t {
  // Interface pointers and smart pointers (and, for construction, a
  // _variant_t); never numbers, so NULL and 0 pick the nullptr_t forms.
  template <class Other>
  using EnableForCompare = std::enable_if_t<std::is_pointer_v<Other> || std::is_class_v<Other>>;
  template <class Other>
  using EnableForOther =
      std::enable_if_t<(std::is_pointer_v<Other> ||
                        std::is_class_v<Other>)&&!std::is_same_v<Other, _com_ptr_t> &&
                       !std::is_same_v<Other, typename IIIDType::Interface*>>;

 public:
  typedef IIIDType ThisIIID;
  typedef typename IIIDType::Interface Interface;

  static const IID& GetIID() noexcept { return ThisIIID::GetIID(); }

  _com_ptr_t() noexcept : p_(nullptr) {}
  // Also from nullptr, NULL and 0 (other numbers do not compile).
  _com_ptr_t(Interface* p) noexcept : p_(p) { AddRefHeld(); }
  // With addRef false the smart pointer takes over the caller's reference.
  _com_ptr_t(Interface* p, bool addRef) noexcept : p_(p) {
    if (addRef) AddRefHeld();
  }
  _com_ptr_t(const _com_ptr_t& other) noexcept : p_(other.p_) { AddRefHeld(); }
  _com_ptr_t(_com_ptr_t&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
  // From another interface, raw or smart: QueryInterface (null when the
  // object does not support this interface).
  template <class Other, class = EnableForOther<Other>>
  _com_ptr_t(const Other& other) : p_(nullptr) {
    FromOther(other);
  }
  // Creates an object of class clsid; raises _com_error on failure.
  explicit _com_ptr_t(const CLSID& clsid, IUnknown* outer = nullptr, DWORD context = CLSCTX_ALL)
      : p_(nullptr) {
    HRESULT hr = CreateInstance(clsid, outer, context);
    if (FAILED(hr) && hr != E_NOINTERFACE) _com_issue_error(hr);
  }
  explicit _com_ptr_t(const WCHAR* clsidText, IUnknown* outer = nullptr, DWORD context = CLSCTX_ALL)
      : p_(nullptr) {
    HRESULT hr = CreateInstance(clsidText, outer, context);
    if (FAILED(hr) && hr != E_NOINTERFACE) _com_issue_error(hr);
  }

  ~_com_ptr_t() { ReleaseHeld(); }

  _com_ptr_t& operator=(const _com_ptr_t& other) noexcept { return *this = other.p_; }
  _com_ptr_t& operator=(_com_ptr_t&& other) noexcept {
    if (this != std::addressof(other)) {
      ReleaseHeld();
      p_ = other.p_;
      other.p_ = nullptr;
    }
    return *this;
  }
  // Also `p = nullptr`, `p = NULL`, `p = 0`.
  _com_ptr_t& operator=(Interface* p) noexcept {
    if (p != p_) {
      if (p != nullptr) p->AddRef();
      ReleaseHeld();
      p_ = p;
    }
    return *this;
  }
  template <class Other, class = EnableForOther<Other>>
  _com_ptr_t& operator=(const Other& other) {
    _com_ptr_t fresh(other);
    return *this = std::move(fresh);
  }

  // Takes over p's reference (or adds one with addRef), releasing the
  // pointer held before.
  void Attach(Interface* p) noexcept {
    ReleaseHeld();
    p_ = p;
  }
  void Attach(Interface* p, bool addRef) noexcept {
    if (addRef && p != nullptr) p->AddRef();
    ReleaseHeld();
    p_ = p;
  }
  // Gives the held reference to the caller; the pointer becomes null.
  Interface* Detach() noexcept {
    Interface* p = p_;
    p_ = nullptr;
    return p;
  }

  // Raise E_POINTER while null.
  void AddRef() {
    if (p_ == nullptr) _com_issue_error(E_POINTER);
    p_->AddRef();
  }
  void Release() {
    if (p_ == nullptr) _com_issue_error(E_POINTER);
    p_->Release();
    p_ = nullptr;
  }

  operator Interface*() const noexcept { return p_; }
  Interface* GetInterfacePtr() const noexcept { return p_; }
  Interface*& GetInterfacePtr() noexcept { return p_; }
  Interface& operator*() const {
    if (p_ == nullptr) _com_issue_error(E_POINTER);
    return *p_;
  }
  Interface* operator->() const {
    if (p_ == nullptr) _com_issue_error(E_POINTER);
    return p_;
  }
  // For out arguments: releases the held pointer first.
  Interface** operator&() noexcept {
    ReleaseHeld();
    return &p_;
  }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  bool operator!() const noexcept { return p_ == nullptr; }

  // Identity comparison: both sides are asked for IUnknown, as COM defines
  // object identity.
  template <class Other, class = EnableForCompare<Other>>
  bool operator==(const Other& other) const {
    return Compare(other) == 0;
  }
  template <class Other, class = EnableForCompare<Other>>
  bool operator!=(const Other& other) const {
    return Compare(other) != 0;
  }
  template <class Other, class = EnableForCompare<Other>>
  bool operator<(const Other& other) const {
    return Compare(other) < 0;
  }
  // Also `p == NULL` and `p == 0`.
  bool operator==(std::nullptr_t) const noexcept { return p_ == nullptr; }
  bool operator!=(std::nullptr_t) const noexcept { return p_ != nullptr; }

  // Creates an object of class clsid and holds its interface. The held
  // pointer is released first; on failure the pointer stays null.
  HRESULT CreateInstance(const CLSID& clsid, IUnknown* outer = nullptr,
                         DWORD context = CLSCTX_ALL) noexcept {
    ReleaseHeld();
    return CoCreateInstance(clsid, outer, context, GetIID(), reinterpret_cast<void**>(&p_));
  }
  // The class given as "{...}" text or as a programmatic identifier.
  HRESULT CreateInstance(const WCHAR* clsidText, IUnknown* outer = nullptr,
                         DWORD context = CLSCTX_ALL) noexcept {
    ReleaseHeld();
    if (clsidText == nullptr) return E_INVALIDARG;
    CLSID clsid;
    HRESULT hr = CLSIDFromString(clsidText, &clsid);
    if (FAILED(hr)) return hr;
    return CreateInstance(clsid, outer, context);
  }

  // Asks the held object for iid.
  template <class Q>
  HRESULT QueryInterface(const IID& iid, Q*& out) const noexcept {
    if (p_ == nullptr) return E_POINTER;
    return p_->QueryInterface(iid, reinterpret_cast<void**>(&out));
  }
  template <class Q>
  HRESULT QueryInterface(const IID& iid, Q** out) const noexcept {
    if (p_ == nullptr) return E_POINTER;
    return p_->QueryInterface(iid, reinterpret_cast<void**>(out));
  }

 private:
  void AddRefHeld() noexcept {
    if (p_ != nullptr) p_->AddRef();
  }
  void ReleaseHeld() noexcept {
    if (p_ != nullptr) {
      Interface* p = p_;
      p_ = nullptr;
      p->Release();
    }
  }

  // A pointer to something COM: an interface pointer or another smart one.
  template <class Other>
  static IUnknown* AsUnknown(const Other& other) noexcept {
    if constexpr (std::is_pointer_v<Other>) {
      return other;  // an interface pointer: every interface is an IUnknown
    } else {
      return other.GetInterfacePtr();
    }
  }

  template <class Other>
  void FromOther(const Other& other) {
    if constexpr (std::is_same_v<Other, _variant_t>) {
      FromVariant(other);
    } else {
      IUnknown* unknown = AsUnknown(other);
      if (unknown != nullptr) unknown->QueryInterface(GetIID(), reinterpret_cast<void**>(&p_));
    }
  }

  void FromVariant(const _variant_t& value) {
    if (value.vt == VT_UNKNOWN || value.vt == VT_DISPATCH) {
      if (value.punkVal != nullptr)
        value.punkVal->QueryInterface(GetIID(), reinterpret_cast<void**>(&p_));
    } else if (value.vt != VT_EMPTY && value.vt != VT_NULL) {
      _com_issue_error(DISP_E_TYPEMISMATCH);
    }
  }

  template <class Other>
  int Compare(const Other& other) const {
    IUnknown* mine = Identity(p_);
    IUnknown* theirs = nullptr;
    if constexpr (std::is_pointer_v<Other>) {
      theirs = Identity(other);
    } else {
      theirs = Identity(other.GetInterfacePtr());
    }
    int result = mine == theirs ? 0 : (mine < theirs ? -1 : 1);
    if (mine != nullptr) mine->Release();
    if (theirs != nullptr) theirs->Release();
    return result;
  }
  static IUnknown* Identity(IUnknown* p) noexcept {
    IUnknown* unknown = nullptr;
    if (p != nullptr) p->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown));
    return unknown;
  }

  Interface* p_;
};

// Declares InterfacePtr as the smart pointer of Interface with identifier
// iid (an lvalue GUID with static storage, such as __uuidof(Interface)).
#define _COM_SMARTPTR_TYPEDEF(Interface, iid) \
  typedef _com_ptr_t<_com_IIID<Interface, &(iid)>> Interface##Ptr

_COM_SMARTPTR_TYPEDEF(IUnknown, __uuidof(IUnknown));
_COM_SMARTPTR_TYPEDEF(IDispatch, __uuidof(IDispatch));
_COM_SMARTPTR_TYPEDEF(IErrorInfo, __uuidof(IErrorInfo));
_COM_SMARTPTR_TYPEDEF(ICreateErrorInfo, __uuidof(ICreateErrorInfo));
_COM_SMARTPTR_TYPEDEF(ISupportErrorInfo, __uuidof(ISupportErrorInfo));
