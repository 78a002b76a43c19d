// com/guid.h: GUID, the interface and class identifiers (IID, CLSID), and
// how a type is given its identifier.
//
// g++ has no __uuidof, so an interface or class names its GUID through a
// trait specialised by KORVO_DEFINE_UUID; KORVO_UUIDOF(T) (and __uuidof(T)
// for code written for Windows) reads it back. A type without a definition
// fails to compile where its identifier is asked for.
//
//   struct IFoo : IUnknown { ... };
//   KORVO_DEFINE_UUID(IFoo, "12345678-1234-1234-1234-123456789ABC")
//   ... KORVO_UUIDOF(IFoo) ...
//
// KORVO_DEFINE_UUID must appear at global namespace scope (or inside
// namespace korvo::com), after the type is declared.
// Thread-safety: every function is pure or writes only its out arguments.
#pragma once

#include <korvo/com/hresult.h>
#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>

typedef struct _GUID {
  uint32_t Data1;
  unsigned short Data2;
  unsigned short Data3;
  unsigned char Data4[8];
} GUID;

typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;
typedef IID* LPIID;
typedef CLSID* LPCLSID;

static_assert(sizeof(GUID) == 16, "GUID is the published 16-byte layout");

constexpr bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
constexpr bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }
// Orders GUIDs so they can key ordered containers.
constexpr bool operator<(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1) return a.Data1 < b.Data1;
  if (a.Data2 != b.Data2) return a.Data2 < b.Data2;
  if (a.Data3 != b.Data3) return a.Data3 < b.Data3;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return a.Data4[i] < b.Data4[i];
  return false;
}

inline bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }
inline bool IsEqualIID(REFIID a, REFIID b) { return a == b; }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return a == b; }

inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
#define IID_NULL GUID_NULL
#define CLSID_NULL GUID_NULL

namespace korvo::com {

namespace detail {
constexpr int HexDigit(char c) {
  return (c >= '0' && c <= '9')   ? c - '0'
         : (c >= 'a' && c <= 'f') ? c - 'a' + 10
         : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                  : -1;
}
constexpr uint32_t HexField(const char* s, int digits) {
  uint32_t v = 0;
  for (int i = 0; i < digits; ++i) {
    int d = HexDigit(s[i]);
    if (d < 0) throw "GUID text: hexadecimal digit expected";  // compile-time error
    v = (v << 4) | static_cast<uint32_t>(d);
  }
  return v;
}
}  // namespace detail

// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" (no braces) to a GUID, at compile
// time; malformed text does not compile.
template <size_t N>
consteval GUID GuidFromText(const char (&s)[N]) {
  static_assert(N == 37, "GUID text has the form xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx");
  if (s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-') throw "GUID text: '-' expected";
  GUID g{};
  g.Data1 = detail::HexField(s, 8);
  g.Data2 = static_cast<unsigned short>(detail::HexField(s + 9, 4));
  g.Data3 = static_cast<unsigned short>(detail::HexField(s + 14, 4));
  g.Data4[0] = static_cast<unsigned char>(detail::HexField(s + 19, 2));
  g.Data4[1] = static_cast<unsigned char>(detail::HexField(s + 21, 2));
  for (int i = 0; i < 6; ++i)
    g.Data4[2 + i] = static_cast<unsigned char>(detail::HexField(s + 24 + 2 * i, 2));
  return g;
}

// The identifier of an interface or class type T, given by
// KORVO_DEFINE_UUID. The primary template is left undefined on purpose.
template <class T>
struct uuid_traits;

}  // namespace korvo::com

#define KORVO_DEFINE_UUID(Type, text)                               \
  template <>                                                       \
  struct korvo::com::uuid_traits<Type> {                            \
    static constexpr GUID value = ::korvo::com::GuidFromText(text); \
  };

// A reference to the static GUID of T; its address is a constant, so it can
// be a template argument (see _COM_SMARTPTR_TYPEDEF).
#define KORVO_UUIDOF(Type) (::korvo::com::uuid_traits<Type>::value)
#ifndef __uuidof
#define __uuidof(Type) KORVO_UUIDOF(Type)
#endif

typedef WCHAR OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;

// Writes "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" and its terminator (39
// units); returns the units written including the terminator, or 0 when
// cchMax is below 39 or the buffer is null.
KORVO_API int StringFromGUID2(REFGUID guid, LPOLESTR out, int cchMax);
// Reads the braced form (any letter case). CO_E_CLASSSTRING on malformed
// text, E_INVALIDARG for a null argument.
KORVO_API HRESULT IIDFromString(LPCOLESTR text, LPIID out);
// Reads the braced form, or a programmatic identifier registered with the
// class (see class_registry.h): CO_E_CLASSSTRING when neither.
KORVO_API HRESULT CLSIDFromString(LPCOLESTR text, LPCLSID out);
