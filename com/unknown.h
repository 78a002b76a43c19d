// com/unknown.h: IUnknown, the root of every interface, and IDispatch.
//
// Rules every object follows: AddRef/Release count references (the object
// deletes itself when the count reaches 0, counts are atomic);
// QueryInterface answers IID_IUnknown with the same pointer every time and
// each interface it supports with an AddRef'd pointer, and otherwise sets
// *out to null and returns E_NOINTERFACE. A null out argument gives
// E_POINTER. com/object.h has a reusable implementation.
//
// IDispatch is kept as a marker interface only (a recordset's Source may be
// a command object handed over as VT_DISPATCH); late binding is not
// provided.
#pragma once

#include <korvo/com/guid.h>
#include <korvo/com/hresult.h>

// Declaration macros of the Windows headers, for interfaces written with them.
#define STDMETHODCALLTYPE
#define STDMETHOD(method) virtual HRESULT method
#define STDMETHOD_(type, method) virtual type method
#define STDMETHODIMP HRESULT
#define STDMETHODIMP_(type) type
#define PURE = 0

struct IUnknown {
  virtual HRESULT QueryInterface(REFIID riid, void** out) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

  // Typed convenience form: QueryInterface(&p) asks for Q's identifier.
  template <class Q>
  HRESULT QueryInterface(Q** out) {
    return QueryInterface(KORVO_UUIDOF(Q), reinterpret_cast<void**>(out));
  }

 protected:
  ~IUnknown() = default;  // objects are destroyed through Release, never delete
};
KORVO_DEFINE_UUID(IUnknown, "00000000-0000-0000-C000-000000000046")

struct IDispatch : IUnknown {
 protected:
  ~IDispatch() = default;
};
KORVO_DEFINE_UUID(IDispatch, "00020400-0000-0000-C000-000000000046")

typedef IUnknown* LPUNKNOWN;
typedef IDispatch* LPDISPATCH;
typedef LONG DISPID;

inline constexpr IID IID_IUnknown = KORVO_UUIDOF(IUnknown);
inline constexpr IID IID_IDispatch = KORVO_UUIDOF(IDispatch);
