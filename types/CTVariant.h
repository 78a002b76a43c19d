// types/CTVariant.h: CTVariant, a small tagged holder: a type tag and one
// pointer-sized payload that callers fill directly.
//
// Ownership: for the tags 7, 8 and 9 the payload is an owning pointer, and
// Clear() (and the destructor) release it:
//   8 (kString)      a CTString from `new CTString(...)`: deleted, which
//                    releases the string's buffer;
//   9 (kLongBinary)  a CTLongBinary from `new CTLongBinary`: deleted, which
//                    frees its heap block;
//   7 (kPlainBlock)  a block of plain data from `new BYTE[n]`: released with
//                    delete[], without any clean-up of its contents.
// Any other tag marks a value that the holder does not own; Clear() resets
// the tag and leaves such a payload as it is. A null owning payload is
// skipped.
//
// Thread-safety: caller must synchronize; a holder must not be used from two
// threads at once.
//
// Choice made for this implementation: copying is withheld. An owning tag
// would otherwise leave two holders owning one object (the payload of tag 7
// cannot even be copied, its size being unknown), so copy construction and
// copy assignment do not compile. Moving transfers: the target is cleared
// first, takes tag and payload, and the source is left with tag 0 and a null
// payload.
#pragma once

#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>

class KORVO_API CTVariant {
 public:
  enum : DWORD { kEmpty = 0, kPlainBlock = 7, kString = 8, kLongBinary = 9 };

  // Tag 0, payload null.
  CTVariant();
  ~CTVariant();
  CTVariant(const CTVariant&) = delete;
  CTVariant& operator=(const CTVariant&) = delete;
  CTVariant(CTVariant&& other) noexcept;
  CTVariant& operator=(CTVariant&& other) noexcept;

  // Releases an owned payload (tags 7, 8, 9; then payload null) and sets tag
  // 0. For other tags only the tag changes. Calling it again is harmless.
  void Clear();

  DWORD m_nType;
  void* m_pValue;
};
