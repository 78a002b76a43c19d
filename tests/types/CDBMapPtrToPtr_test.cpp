// tests/types/CDBMapPtrToPtr_test.cpp: CDBMapPtrToPtr hashing, buckets,
// lazy table, entry blocks, iteration order, and a model-based random test
// against std::unordered_map.
#include <gtest/gtest.h>
#include <korvo/types/CDBMapPtrToPtr.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <unordered_map>
#include <utility>
#include <vector>

#include "support/chain_length.h"

namespace {

void* P(uintptr_t n) { return reinterpret_cast<void*>(n); }

class InspectedMap : public CDBMapPtrToPtr {
 public:
  using CDBMapPtrToPtr::CDBMapPtrToPtr;
  using CDBMapPtrToPtr::operator=;
  bool HasTable() const { return m_pHashTable != nullptr; }
  int Blocks() const { return korvo::test::ChainLength(m_pBlocks); }
  int FreeEntries() const { return korvo::test::ChainLength(m_pFreeList); }
  int BlockSize() const { return m_nBlockSize; }
  // Keys of one bucket, front of the chain first.
  std::vector<void*> Chain(unsigned int bucket) const {
    std::vector<void*> keys;
    for (CAssoc* a = m_pHashTable[bucket]; a != nullptr; a = a->pNext) keys.push_back(a->key);
    return keys;
  }
  std::pair<void*, unsigned int> AssocAt(void* key) const {
    unsigned int bucket = 12345;
    CAssoc* a = GetAssocAt(key, bucket);
    return {a != nullptr ? a->key : P(0xDEAD), bucket};
  }
  void* ValueAt(void* key) const { return GetValueAt(key); }
};

std::vector<std::pair<void*, void*>> Walk(const CDBMapPtrToPtr& m) {
  std::vector<std::pair<void*, void*>> out;
  for (__DB_POSITION* pos = m.GetStartPosition(); pos != nullptr;) {
    void* key;
    void* value;
    m.GetNextAssoc(pos, key, value);
    out.emplace_back(key, value);
  }
  return out;
}

TEST(CDBMapPtrToPtrTest, HashingAndBuckets) {
  InspectedMap m;
  EXPECT_EQ(m.GetHashTableSize(), 17u);
  EXPECT_EQ(m.HashKey(P(0x1234567890ABCDEFull)), 0x90ABCDEFu >> 4);
  EXPECT_EQ(m.HashKey(P(0x10F)), 0x10u);
  // Keys that differ only in their low four bits share a bucket; the newest
  // entry is at the front of the chain and so comes first in iteration.
  m[P(0x100)] = P(1);
  m[P(0x10F)] = P(2);
  EXPECT_EQ(m.AssocAt(P(0x100)).second, 0x10u % 17);
  EXPECT_EQ(m.Chain(0x10 % 17), (std::vector<void*>{P(0x10F), P(0x100)}));
  EXPECT_EQ(Walk(m), (std::vector<std::pair<void*, void*>>{{P(0x10F), P(2)}, {P(0x100), P(1)}}));
  // Order is by bucket index: bucket 1 (key 0x10) before bucket 16.
  m[P(0x10)] = P(3);
  EXPECT_EQ(Walk(m), (std::vector<std::pair<void*, void*>>{
                         {P(0x10), P(3)}, {P(0x10F), P(2)}, {P(0x100), P(1)}}));
  EXPECT_EQ(m.AssocAt(P(0x999)).first, P(0xDEAD));
  EXPECT_EQ(m.AssocAt(P(0x999)).second, 0x99u % 17);
  EXPECT_EQ(m.ValueAt(P(0x10)), P(3));
  EXPECT_EQ(m.ValueAt(P(0x11)), nullptr);
}

// Lookup, SetAt, [] and RemoveKey on colliding keys, and the table freed
// with the last entry, are checked against std::unordered_map by the
// random test below; here the lazy table and the created slot.
TEST(CDBMapPtrToPtrTest, TheTableComesWithTheFirstEntryAndASlotStartsNull) {
  InspectedMap m;
  void* value = P(77);
  EXPECT_EQ(m.Lookup(P(1), value), 0);  // no table yet
  EXPECT_EQ(value, P(77));
  EXPECT_FALSE(m.HasTable());
  EXPECT_EQ(m.RemoveKey(P(1)), 0);
  EXPECT_EQ(m.GetStartPosition(), nullptr);
  EXPECT_EQ(m.IsEmpty(), 1);
  void*& slot = m[P(0x40)];
  EXPECT_EQ(slot, nullptr);  // created null
  EXPECT_TRUE(m.HasTable());
  EXPECT_EQ(m.IsEmpty(), 0);
  slot = P(5);
  EXPECT_EQ(m.Lookup(P(0x40), value), 1);
  EXPECT_EQ(value, P(5));
  EXPECT_EQ(m.RemoveKey(P(0x40)), 1);
  EXPECT_FALSE(m.HasTable());
  m[P(0x50)] = P(8);
  EXPECT_EQ(m.GetHashTableSize(), 17u);
}

TEST(CDBMapPtrToPtrTest, EntryBlocksAndTheLazyTable) {
  InspectedMap m(2);
  m[P(0x10)] = P(1);
  EXPECT_EQ(m.Blocks(), 1);
  EXPECT_EQ(m.FreeEntries(), 1);
  m[P(0x20)] = P(2);
  m[P(0x30)] = P(3);
  EXPECT_EQ(m.Blocks(), 2);
  m.RemoveKey(P(0x20));
  EXPECT_EQ(m.FreeEntries(), 2);
  m[P(0x40)] = P(4);  // reuses the freed entry
  EXPECT_EQ(m.Blocks(), 2);
  m.RemoveAll();
  EXPECT_EQ(m.Blocks(), 0);
  EXPECT_FALSE(m.HasTable());
  EXPECT_EQ(m.GetCount(), 0);

  InspectedMap sized;
  sized.InitHashTable(31, 0);
  EXPECT_EQ(sized.GetHashTableSize(), 31u);
  EXPECT_FALSE(sized.HasTable());
  sized[P(0x1F0)] = P(1);  // 0x1F = 31: bucket 0 of 31, bucket 14 of 17
  EXPECT_TRUE(sized.HasTable());
  EXPECT_EQ(sized.AssocAt(P(0x1F0)).second, 0u);
  sized.RemoveAll();
  EXPECT_EQ(sized.GetHashTableSize(), 31u);  // the size stays
  sized.InitHashTable(5);
  EXPECT_TRUE(sized.HasTable());
  EXPECT_EQ(sized.GetHashTableSize(), 5u);

  // A zero table size behaves as one bucket rather than dividing by zero.
  InspectedMap zero;
  zero.InitHashTable(0, 1);
  void* value;
  EXPECT_EQ(zero.Lookup(P(0x10), value), 0);
  zero[P(0x10)] = P(1);
  zero[P(0x20)] = P(2);
  EXPECT_EQ(Walk(zero).size(), 2u);
}

TEST(CDBMapPtrToPtrTest, CopiesOwnTheirEntriesAndKeepIterationOrder) {
  InspectedMap a(3);
  a.InitHashTable(7, 0);
  for (uintptr_t i = 1; i <= 20; ++i) a[P(i * 8)] = P(i);
  const auto order = Walk(a);
  CDBMapPtrToPtr copy(a);
  EXPECT_EQ(copy.GetHashTableSize(), 7u);
  EXPECT_EQ(Walk(copy), order);
  InspectedMap assigned(4);
  assigned[P(0x999)] = P(9);
  assigned = a;
  EXPECT_EQ(Walk(assigned), order);
  EXPECT_EQ(assigned.BlockSize(), 4);
  a.RemoveAll();
  void* value;
  EXPECT_EQ(copy.Lookup(P(16), value), 1);
  EXPECT_EQ(value, P(2));
  EXPECT_EQ(assigned.Lookup(P(0x999), value), 0);
  auto& self = assigned;
  assigned = self;
  EXPECT_EQ(Walk(assigned), order);
  InspectedMap empty;
  assigned = empty;
  EXPECT_EQ(assigned.GetCount(), 0);
  EXPECT_FALSE(assigned.HasTable());
  EXPECT_EQ(assigned.GetHashTableSize(), 17u);
}

// Random operations on the map and std::unordered_map side by side, with
// keys drawn from a small range so that buckets collide. The seed is printed
// so a failure can be replayed.
TEST(CDBMapPtrToPtrTest, MatchesStdUnorderedMapUnderRandomOperations) {
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE(testing::Message() << "seed " << seed);
  std::printf("CDBMapPtrToPtr model seed: %u\n", seed);
  std::mt19937 rng(seed);
  for (int round = 0; round < 20; ++round) {
    InspectedMap map(1 + static_cast<int>(rng() % 5));
    const unsigned buckets = 1 + rng() % 23;
    map.InitHashTable(buckets, static_cast<int>(rng() % 2));
    std::unordered_map<void*, void*> model;
    for (int step = 0; step < 500; ++step) {
      void* key = P((rng() % 64) << (rng() % 2 ? 4 : 0));
      void* value = P(rng());
      switch (rng() % 6) {
        case 0:
        case 1:
          map[key] = value;
          model[key] = value;
          break;
        case 2:
          map.SetAt(key, value);
          model[key] = value;
          break;
        case 3: {
          const int removed = map.RemoveKey(key);
          ASSERT_EQ(removed, static_cast<int>(model.erase(key)));
          // Removing the last entry returns the table and the blocks.
          if (removed && model.empty()) {
            ASSERT_FALSE(map.HasTable());
            ASSERT_EQ(map.Blocks(), 0);
          }
        } break;
        case 4: {
          void* found = P(1);
          const int hit = map.Lookup(key, found);
          auto it = model.find(key);
          ASSERT_EQ(hit, it != model.end() ? 1 : 0);
          if (hit) {
            ASSERT_EQ(found, it->second);
          }
          break;
        }
        case 5:
          if (rng() % 16 == 0) {
            map.RemoveAll();
            model.clear();
            ASSERT_FALSE(map.HasTable());
          }
          break;
      }
      ASSERT_EQ(map.GetCount(), static_cast<int>(model.size()));
    }
    // Iteration yields every entry once, by bucket, newest first in each.
    const auto walked = Walk(map);
    ASSERT_EQ(walked.size(), model.size());
    std::unordered_map<void*, void*> seen(walked.begin(), walked.end());
    ASSERT_EQ(seen, model);
    for (size_t i = 1; i < walked.size(); ++i) {
      ASSERT_LE(map.HashKey(walked[i - 1].first) % buckets, map.HashKey(walked[i].first) % buckets);
    }
    ASSERT_EQ(map.GetCount() + map.FreeEntries(), map.Blocks() * map.BlockSize());
  }
}

}  // namespace
