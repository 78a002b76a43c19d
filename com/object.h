// com/object.h: a reusable implementation of IUnknown for Korvo's own COM
// objects.
//
//   class Widget final : public korvo::com::Object<IWidget, IConnectionPointContainer> {
//     ... implement IWidget's and the container's methods ...
//   };
//   IWidget* w = nullptr;
//   HRESULT hr = korvo::com::CreateObject<Widget>(KORVO_UUIDOF(IWidget), (void**)&w);
//
// Object<I...> derives from every listed interface and answers
// QueryInterface for each of them, for IUnknown (through the first one) and
// for IDispatch when a listed interface derives from it. Extra identifiers
// (say an interface's base other than IDispatch) are answered by overriding
// QueryExtraInterface. The reference count is atomic and starts at 0; the
// object deletes itself when Release brings it back to 0.
// Thread-safety: the counting is; the object's own state is the caller's.
#pragma once

#include <korvo/com/unknown.h>

#include <atomic>
#include <new>
#include <type_traits>
#include <utility>

namespace korvo::com {

template <class First, class... Rest>
class Object : public First, public Rest... {
 public:
  Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  HRESULT QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (riid == IID_IUnknown) {
      *out = static_cast<IUnknown*>(static_cast<First*>(this));
    } else if (!Find<First, Rest...>(riid, out)) {
      if (riid == IID_IDispatch) FindDispatch<First, Rest...>(out);
      if (*out == nullptr) *out = QueryExtraInterface(riid);
      if (*out == nullptr) return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  ULONG Release() override {
    ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }
  using First::QueryInterface;  // the typed convenience form

 protected:
  virtual ~Object() = default;
  // Pointer for an identifier not covered by the listed interfaces, or null.
  // Called without AddRef; QueryInterface adds the reference.
  virtual void* QueryExtraInterface(REFIID) { return nullptr; }

 private:
  template <class I, class... More>
  bool Find(REFIID riid, void** out) {
    if (riid == KORVO_UUIDOF(I)) {
      *out = static_cast<I*>(this);
      return true;
    }
    if constexpr (sizeof...(More) > 0) return Find<More...>(riid, out);
    return false;
  }
  template <class I, class... More>
  void FindDispatch(void** out) {
    if constexpr (std::is_base_of_v<IDispatch, I>) {
      *out = static_cast<IDispatch*>(static_cast<I*>(this));
    } else if constexpr (sizeof...(More) > 0) {
      FindDispatch<More...>(out);
    }
  }

  std::atomic<ULONG> refs_{0};
};

// Creates T (constructed from args) and asks it for riid; on any failure
// nothing is left allocated. E_OUTOFMEMORY when allocation fails, the
// object's answer when it does not support riid. Constructors that throw
// propagate their exception.
template <class T, class... Args>
HRESULT CreateObject(REFIID riid, void** out, Args&&... args) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  T* object = new (std::nothrow) T(std::forward<Args>(args)...);
  if (object == nullptr) return E_OUTOFMEMORY;
  object->AddRef();
  HRESULT hr = object->QueryInterface(riid, out);
  object->Release();
  return hr;
}

}  // namespace korvo::com
