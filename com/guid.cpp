// com/guid.cpp: GUIDs to and from their braced text form.
#include <korvo/com/class_registry.h>
#include <korvo/com/guid.h>

namespace {

// Field layout of "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
constexpr int kTextUnits = 38;

bool ParseBraced(LPCOLESTR text, GUID* out) {
  for (int i = 0; i < kTextUnits; ++i)
    if (text[i] == 0) return false;
  if (text[kTextUnits] != 0 || text[0] != u'{' || text[37] != u'}') return false;
  char ascii[37];
  for (int i = 0; i < 36; ++i) {
    OLECHAR c = text[1 + i];
    if (c > 0x7F) return false;
    ascii[i] = static_cast<char>(c);
  }
  ascii[36] = 0;
  if (ascii[8] != '-' || ascii[13] != '-' || ascii[18] != '-' || ascii[23] != '-') return false;
  auto field = [&](int at, int digits, uint32_t* value) {
    uint32_t v = 0;
    for (int i = 0; i < digits; ++i) {
      int d = korvo::com::detail::HexDigit(ascii[at + i]);
      if (d < 0) return false;
      v = (v << 4) | static_cast<uint32_t>(d);
    }
    *value = v;
    return true;
  };
  GUID g{};
  uint32_t v = 0;
  if (!field(0, 8, &v)) return false;
  g.Data1 = v;
  if (!field(9, 4, &v)) return false;
  g.Data2 = static_cast<unsigned short>(v);
  if (!field(14, 4, &v)) return false;
  g.Data3 = static_cast<unsigned short>(v);
  static constexpr int kByteAt[8] = {19, 21, 24, 26, 28, 30, 32, 34};
  for (int i = 0; i < 8; ++i) {
    if (!field(kByteAt[i], 2, &v)) return false;
    g.Data4[i] = static_cast<unsigned char>(v);
  }
  *out = g;
  return true;
}

}  // namespace

int StringFromGUID2(REFGUID guid, LPOLESTR out, int cchMax) {
  if (out == nullptr || cchMax < kTextUnits + 1) return 0;
  static constexpr char kHex[] = "0123456789ABCDEF";
  int at = 0;
  auto put = [&](uint32_t value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
      out[at++] = kHex[(value >> shift) & 0xF];
  };
  out[at++] = u'{';
  put(guid.Data1, 8);
  out[at++] = u'-';
  put(guid.Data2, 4);
  out[at++] = u'-';
  put(guid.Data3, 4);
  out[at++] = u'-';
  put(guid.Data4[0], 2);
  put(guid.Data4[1], 2);
  out[at++] = u'-';
  for (int i = 2; i < 8; ++i) put(guid.Data4[i], 2);
  out[at++] = u'}';
  out[at++] = 0;
  return at;
}

HRESULT IIDFromString(LPCOLESTR text, LPIID out) {
  if (text == nullptr || out == nullptr) return E_INVALIDARG;
  return ParseBraced(text, out) ? S_OK : CO_E_CLASSSTRING;
}

HRESULT CLSIDFromString(LPCOLESTR text, LPCLSID out) {
  if (text == nullptr || out == nullptr) return E_INVALIDARG;
  if (ParseBraced(text, out)) return S_OK;
  return CLSIDFromProgID(text, out);
}
