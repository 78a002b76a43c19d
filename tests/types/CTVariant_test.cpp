// tests/types/CTVariant_test.cpp: CTVariant's release of owned payloads and
// its transfer on move. LeakSanitizer checks that every owned object goes.
#include <gtest/gtest.h>
#include <korvo/types/CTLongBinary.h>
#include <korvo/types/CTString.h>
#include <korvo/types/CTVariant.h>

#include <cstdint>
#include <type_traits>
#include <utility>

namespace {

void* P(uintptr_t n) { return reinterpret_cast<void*>(n); }

static_assert(!std::is_copy_constructible_v<CTVariant>, "copies would share an owned payload");
static_assert(!std::is_copy_assignable_v<CTVariant>, "copies would share an owned payload");

TEST(CTVariantTest, ClearReleasesOwnedPayloadsAndResetsOtherTags) {
  CTVariant v;
  EXPECT_EQ(v.m_nType, 0u);
  EXPECT_EQ(v.m_pValue, nullptr);
  // Owned: a string (8), a long binary (9), a byte block (7); also null.
  auto* lb = new CTLongBinary;
  const BYTE bytes[] = {1, 2, 3};
  lb->SetParam(bytes, 3, 0);
  const std::pair<unsigned, void*> owned[] = {
      {8, new CTString("a string long enough to need its own heap block")},
      {9, lb},
      {7, new BYTE[64]},
      {8, nullptr}};
  for (const auto& [tag, payload] : owned) {
    v.m_nType = tag;
    v.m_pValue = payload;
    v.Clear();  // LeakSanitizer reports a payload left behind
    EXPECT_EQ(v.m_nType, 0u) << tag;
    EXPECT_EQ(v.m_pValue, nullptr) << tag;
  }
  v.Clear();  // tag 0: nothing to do
  EXPECT_EQ(v.m_nType, 0u);

  // Not owned: the tag is reset, the payload stays as the caller left it.
  v.m_nType = 3;
  v.m_pValue = P(42);
  v.Clear();
  EXPECT_EQ(v.m_nType, 0u);
  EXPECT_EQ(v.m_pValue, P(42));
  v.m_pValue = nullptr;
  {
    CTVariant scoped;
    scoped.m_nType = 8;
    scoped.m_pValue = new CTString("released by the destructor");
  }
  {
    CTVariant unowned;
    unowned.m_nType = 5;
    unowned.m_pValue = &v;  // never freed: the destructor must not touch it
  }
  EXPECT_EQ(v.m_nType, 0u);
}

TEST(CTVariantTest, MoveTransfersOwnership) {
  CTVariant a;
  a.m_nType = 8;
  auto* s = new CTString("owned by one holder at a time");
  a.m_pValue = s;
  CTVariant b(std::move(a));
  EXPECT_EQ(b.m_nType, 8u);
  EXPECT_EQ(b.m_pValue, s);
  EXPECT_EQ(a.m_nType, 0u);
  EXPECT_EQ(a.m_pValue, nullptr);

  // Move assignment releases what the target owned before taking over.
  CTVariant c;
  c.m_nType = 7;
  c.m_pValue = new BYTE[16];
  c = std::move(b);
  EXPECT_EQ(c.m_nType, 8u);
  EXPECT_EQ(c.m_pValue, s);
  EXPECT_EQ(b.m_pValue, nullptr);
  EXPECT_STREQ(static_cast<const char*>(*static_cast<CTString*>(c.m_pValue)),
               "owned by one holder at a time");
  auto& self = c;
  c = std::move(self);
  EXPECT_EQ(c.m_pValue, s);
}

}  // namespace
