// tests/types/CTPtrList_test.cpp: CTPtrList linking, positions, node blocks,
// and a model-based random test against std::list.
#include <gtest/gtest.h>
#include <korvo/types/CTPtrList.h>

#include <cstdint>
#include <iterator>
#include <list>
#include <random>
#include <vector>

#include "support/chain_length.h"

namespace {

void* P(uintptr_t n) { return reinterpret_cast<void*>(n); }

// Reaches the block bookkeeping that the public interface hides.
class InspectedList : public CTPtrList {
 public:
  using CTPtrList::CTPtrList;
  using CTPtrList::operator=;
  int Blocks() const { return korvo::test::ChainLength(m_pBlocks); }
  int FreeNodes() const { return korvo::test::ChainLength(m_pNodeFree); }
  int BlockSize() const { return m_nBlockSize; }
  // True when `pos` is one of the nodes of the newest block.
  bool InNewestBlock(__DB_POSITION* pos) const {
    CNode* first = m_pBlocks->Nodes();
    CNode* node = reinterpret_cast<CNode*>(pos);
    return node >= first && node < first + m_nBlockSize;
  }
  __DB_POSITION* FirstOfNewestBlock() const {
    return reinterpret_cast<__DB_POSITION*>(m_pBlocks->Nodes());
  }
};

std::vector<void*> Forward(const CTPtrList& l) {
  std::vector<void*> out;
  for (__DB_POSITION* pos = l.GetHeadPosition(); pos != nullptr;) out.push_back(l.GetNext(pos));
  return out;
}

std::vector<void*> Backward(const CTPtrList& l) {
  std::vector<void*> out;
  for (__DB_POSITION* pos = l.GetTailPosition(); pos != nullptr;) out.push_back(l.GetPrev(pos));
  return out;
}

TEST(CTPtrListTest, NodesComeFromBlocksThatAreFreedWhenTheListEmpties) {
  InspectedList l(3);
  EXPECT_EQ(l.Blocks(), 0);
  __DB_POSITION* first = l.AddTail(P(1));
  EXPECT_EQ(l.Blocks(), 1);
  EXPECT_EQ(l.FreeNodes(), 2);
  // The first node of a block is handed out first.
  EXPECT_EQ(first, l.FirstOfNewestBlock());
  l.AddTail(P(2));
  l.AddTail(P(3));
  EXPECT_EQ(l.Blocks(), 1);
  EXPECT_EQ(l.FreeNodes(), 0);
  __DB_POSITION* fourth = l.AddTail(P(4));
  EXPECT_EQ(l.Blocks(), 2);
  EXPECT_TRUE(l.InNewestBlock(fourth));
  // A removed node is reused before any new block.
  l.RemoveAt(first);
  EXPECT_EQ(l.FreeNodes(), 3);
  EXPECT_EQ(l.AddHead(P(5)), first);
  // Removing the last element returns every block at once.
  while (!l.IsEmpty()) l.RemoveTail();
  EXPECT_EQ(l.Blocks(), 0);
  EXPECT_EQ(l.FreeNodes(), 0);
  l.AddTail(P(6));
  EXPECT_EQ(l.Blocks(), 1);
  EXPECT_EQ(l.FreeNodes(), 2);
  l.RemoveAll();
  EXPECT_EQ(l.Blocks(), 0);
  EXPECT_EQ(l.GetCount(), 0);
  EXPECT_EQ(l.GetHeadPosition(), nullptr);
  EXPECT_EQ(l.GetTailPosition(), nullptr);
  EXPECT_EQ(l.BlockSize(), 3);

  InspectedList defaults;
  EXPECT_EQ(defaults.BlockSize(), 10);
  InspectedList tiny(0);  // taken as 1
  tiny.AddTail(P(1));
  tiny.AddTail(P(2));
  EXPECT_EQ(tiny.Blocks(), 2);
}

// Linking, removal and Find from a position are checked against
// std::list by the random test below; here what it does not reach: the
// reference forms, null and out-of-range positions, Find from the head.
TEST(CTPtrListTest, ReferencesNullPositionsAndIndexesOutOfRange) {
  CTPtrList l;
  EXPECT_EQ(l.IsEmpty(), 1);
  EXPECT_EQ(l.FindIndex(0), nullptr);
  __DB_POSITION* two = l.InsertBefore(nullptr, P(2));  // null: at the head
  l.InsertAfter(nullptr, P(3));                        // null: at the tail
  l.InsertBefore(nullptr, P(1));
  EXPECT_EQ(l.IsEmpty(), 0);
  EXPECT_EQ(Forward(l), (std::vector<void*>{P(1), P(2), P(3)}));
  EXPECT_EQ(Backward(l), (std::vector<void*>{P(3), P(2), P(1)}));
  l.GetHead() = P(10);  // the reference forms write through
  l.GetAt(two) = P(20);
  const CTPtrList& c = l;
  EXPECT_EQ(c.GetHead(), P(10));
  EXPECT_EQ(c.GetAt(two), P(20));
  EXPECT_EQ(c.GetTail(), P(3));
  EXPECT_EQ(l.FindIndex(2), l.GetTailPosition());
  EXPECT_EQ(l.FindIndex(3), nullptr);
  EXPECT_EQ(l.FindIndex(-1), nullptr);
  EXPECT_EQ(l.Find(P(20)), two);                           // no start: from the head
  EXPECT_EQ(l.Find(P(10), l.GetHeadPosition()), nullptr);  // the start is not considered
  EXPECT_EQ(l.Find(P(99)), nullptr);
  l.RemoveAll();
  EXPECT_EQ(l.GetHeadPosition(), nullptr);
  EXPECT_EQ(l.GetTailPosition(), nullptr);
}

TEST(CTPtrListTest, AddingWholeListsKeepsTheirOrder) {
  CTPtrList a, b;
  a.AddTail(P(1));
  a.AddTail(P(2));
  b.AddTail(P(3));
  b.AddHead(&a);
  EXPECT_EQ(Forward(b), (std::vector<void*>{P(1), P(2), P(3)}));
  b.AddTail(&a);
  EXPECT_EQ(Forward(b), (std::vector<void*>{P(1), P(2), P(3), P(1), P(2)}));
  EXPECT_EQ(Forward(a), (std::vector<void*>{P(1), P(2)}));
  CTPtrList empty;
  b.AddTail(&empty);
  b.AddHead(&empty);
  EXPECT_EQ(b.GetCount(), 5);

  // A list added to itself is added once, as it was before the call.
  CTPtrList c;
  c.AddTail(P(1));
  c.AddTail(P(2));
  c.AddTail(&c);
  EXPECT_EQ(Forward(c), (std::vector<void*>{P(1), P(2), P(1), P(2)}));
  c.RemoveTail();
  c.AddHead(&c);
  EXPECT_EQ(Forward(c), (std::vector<void*>{P(1), P(2), P(1), P(1), P(2), P(1)}));
  EXPECT_EQ(Backward(c), (std::vector<void*>{P(1), P(2), P(1), P(1), P(2), P(1)}));
}

TEST(CTPtrListTest, CopiesOwnTheirNodes) {
  InspectedList a(4);
  for (uintptr_t i = 1; i <= 5; ++i) a.AddTail(P(i));
  CTPtrList copy(a);
  EXPECT_EQ(Forward(copy), Forward(a));
  EXPECT_NE(copy.GetHeadPosition(), a.GetHeadPosition());
  InspectedList assigned(2);
  assigned.AddTail(P(9));
  assigned = a;
  EXPECT_EQ(Forward(assigned), Forward(a));
  EXPECT_EQ(assigned.BlockSize(), 2);
  EXPECT_EQ(assigned.Blocks(), 3);
  a.RemoveAll();
  EXPECT_EQ(copy.GetCount(), 5);
  EXPECT_EQ(assigned.GetTail(), P(5));
  auto& self = assigned;
  assigned = self;
  EXPECT_EQ(assigned.GetCount(), 5);
  CTPtrList empty;
  assigned = empty;
  EXPECT_EQ(assigned.GetCount(), 0);
  EXPECT_EQ(assigned.Blocks(), 0);
}

// Random operations on CTPtrList and std::list side by side; positions are
// tracked by index. The seed is printed so a failure can be replayed.
TEST(CTPtrListTest, MatchesStdListUnderRandomOperations) {
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE(testing::Message() << "seed " << seed);
  std::printf("CTPtrList model seed: %u\n", seed);
  std::mt19937 rng(seed);
  for (int round = 0; round < 20; ++round) {
    InspectedList list(1 + static_cast<int>(rng() % 7));
    std::list<void*> model;
    uintptr_t next = 1;
    for (int step = 0; step < 400; ++step) {
      const int n = static_cast<int>(model.size());
      const int index = n > 0 ? static_cast<int>(rng() % n) : 0;
      auto at = std::next(model.begin(), index);
      switch (rng() % 10) {
        case 0:
          list.AddHead(P(next));
          model.push_front(P(next++));
          break;
        case 1:
          list.AddTail(P(next));
          model.push_back(P(next++));
          break;
        case 2:
          if (n == 0) break;
          ASSERT_EQ(list.RemoveHead(), model.front());
          model.pop_front();
          break;
        case 3:
          if (n == 0) break;
          ASSERT_EQ(list.RemoveTail(), model.back());
          model.pop_back();
          break;
        case 4:
          list.InsertBefore(list.FindIndex(index), P(next));
          model.insert(n == 0 ? model.end() : at, P(next++));
          break;
        case 5:
          list.InsertAfter(list.FindIndex(index), P(next));
          model.insert(n == 0 ? model.end() : std::next(at), P(next++));
          break;
        case 6:
          if (n == 0) break;
          list.RemoveAt(list.FindIndex(index));
          model.erase(at);
          break;
        case 7:
          if (n == 0) break;
          list.SetAt(list.FindIndex(index), P(next));
          *at = P(next++);
          break;
        case 8: {
          // Find with a start position against a search of the model.
          if (n == 0) break;
          void* wanted = *std::next(model.begin(), static_cast<int>(rng() % n));
          __DB_POSITION* found = list.Find(wanted, list.FindIndex(index));
          auto it = std::find(std::next(at), model.end(), wanted);
          if (it == model.end()) {
            ASSERT_EQ(found, nullptr);
          } else {
            ASSERT_EQ(found, list.FindIndex(static_cast<int>(std::distance(model.begin(), it))));
          }
          break;
        }
        case 9:
          if (rng() % 8 == 0) {
            list.RemoveAll();
            model.clear();
          }
          break;
      }
      ASSERT_EQ(list.GetCount(), static_cast<int>(model.size()));
      if (model.empty()) {
        ASSERT_EQ(list.Blocks(), 0);
      }
    }
    ASSERT_EQ(Forward(list), std::vector<void*>(model.begin(), model.end()));
    ASSERT_EQ(Backward(list), std::vector<void*>(model.rbegin(), model.rend()));
    // Every node is either linked or free: blocks hold nothing else.
    ASSERT_EQ(list.GetCount() + list.FreeNodes(), list.Blocks() * list.BlockSize());
  }
}

}  // namespace
