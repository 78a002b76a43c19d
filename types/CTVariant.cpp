// types/CTVariant.cpp: release of the owned payloads of CTVariant.
#include <korvo/types/CTLongBinary.h>
#include <korvo/types/CTString.h>
#include <korvo/types/CTVariant.h>

CTVariant::CTVariant() : m_nType(kEmpty), m_pValue(nullptr) {}

CTVariant::~CTVariant() { Clear(); }

CTVariant::CTVariant(CTVariant&& other) noexcept
    : m_nType(other.m_nType), m_pValue(other.m_pValue) {
  other.m_nType = kEmpty;
  other.m_pValue = nullptr;
}

CTVariant& CTVariant::operator=(CTVariant&& other) noexcept {
  if (this != &other) {
    Clear();
    m_nType = other.m_nType;
    m_pValue = other.m_pValue;
    other.m_nType = kEmpty;
    other.m_pValue = nullptr;
  }
  return *this;
}

void CTVariant::Clear() {
  switch (m_nType) {
    case kString:
      delete static_cast<CTString*>(m_pValue);
      break;
    case kLongBinary:
      delete static_cast<CTLongBinary*>(m_pValue);
      break;
    case kPlainBlock:
      delete[] static_cast<BYTE*>(m_pValue);
      break;
    default:
      // Not owned: only the tag is reset.
      m_nType = kEmpty;
      return;
  }
  m_pValue = nullptr;
  m_nType = kEmpty;
}
