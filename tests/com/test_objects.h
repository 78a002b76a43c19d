// tests/com/test_objects.h: small COM objects and the helpers the com/ tests
// share (catching a _com_error, building a VARIANT).
#pragma once

#include <korvo/com/com_error.h>
#include <korvo/com/object.h>
#include <korvo/com/unknown.h>
#include <korvo/com/variant.h>

#include <atomic>
#include <optional>

struct ICounter : IUnknown {
  virtual HRESULT Add(LONG n) = 0;
  virtual LONG Value() = 0;

 protected:
  ~ICounter() = default;
};
KORVO_DEFINE_UUID(ICounter, "6B1E1A10-0001-4C3B-9D2E-4B6F1E0A0001")

struct INamed : IDispatch {
  virtual const char* Name() = 0;

 protected:
  ~INamed() = default;
};
KORVO_DEFINE_UUID(INamed, "6B1E1A10-0002-4C3B-9D2E-4B6F1E0A0002")

// An interface nobody implements.
struct IAbsent : IUnknown {
 protected:
  ~IAbsent() = default;
};
KORVO_DEFINE_UUID(IAbsent, "6B1E1A10-0003-4C3B-9D2E-4B6F1E0A0003")

struct CounterClass;
KORVO_DEFINE_UUID(CounterClass, "6B1E1A10-0100-4C3B-9D2E-4B6F1E0A0100")

namespace korvo::test {

// Counts live objects so tests can see every reference was released.
inline std::atomic<int> g_liveCounters{0};

class Counter final : public korvo::com::Object<ICounter, INamed> {
 public:
  Counter() { ++g_liveCounters; }
  HRESULT Add(LONG n) override {
    value_ += n;
    return S_OK;
  }
  LONG Value() override { return value_; }
  const char* Name() override { return "counter"; }

 private:
  ~Counter() override { --g_liveCounters; }
  LONG value_ = 0;
};

inline HRESULT CreateCounter(REFIID riid, void** out) {
  return korvo::com::CreateObject<Counter>(riid, out);
}

// A new Counter through ICounter, holding one reference for the caller.
inline ICounter* NewCounter() {
  ICounter* counter = nullptr;
  if (CreateCounter(KORVO_UUIDOF(ICounter), reinterpret_cast<void**>(&counter)) != S_OK) {
    return nullptr;
  }
  return counter;
}

// The _com_error that `fn` raises; none when it raises none.
template <class Fn>
std::optional<_com_error> Caught(Fn&& fn) {
  try {
    fn();
  } catch (const _com_error& e) {
    return e;
  }
  return std::nullopt;
}

// The code of the _com_error that `fn` raises; S_OK when it raises none.
template <class Fn>
HRESULT RaisedBy(Fn&& fn) {
  const std::optional<_com_error> e = Caught(fn);
  return e ? e->Error() : S_OK;
}

// A VARIANT owning a copy of `text` as VT_BSTR; the caller clears it.
inline VARIANT BstrVariant(const char16_t* text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(text);
  return v;
}

}  // namespace korvo::test
