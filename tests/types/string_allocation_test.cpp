// Allocation behaviour of CTString and CTWString, observed through a
// replaced global operator new: which operations allocate, and what state
// an exhausted heap (std::bad_alloc) leaves a string in.
#include <gtest/gtest.h>
#include <korvo/types/CTString.h>
#include <korvo/types/CTWString.h>

#include <cstdlib>
#include <new>
#include <string>

namespace {

// Per thread, so allocations of other threads (none here) cannot interfere.
thread_local long t_allocations = 0;
thread_local long t_failAfter = -1;  // allocations still allowed; -1: never fail

}  // namespace

[[gnu::noinline]] void* operator new(std::size_t size) {
  if (t_failAfter == 0) throw std::bad_alloc();
  if (t_failAfter > 0) --t_failAfter;
  ++t_allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
// Not inlined: GCC would otherwise pair the inlined free() with the
// operator new at a call site and warn about a mismatch.
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

// Counts the allocations made while it lives.
class AllocationCount {
 public:
  AllocationCount() : start_(t_allocations) {}
  long Made() const { return t_allocations - start_; }

 private:
  long start_;
};

// The next `allowed` allocations succeed, the one after throws.
class FailingHeap {
 public:
  explicit FailingHeap(long allowed) { t_failAfter = allowed; }
  ~FailingHeap() { t_failAfter = -1; }
};

const char* Chars(const CTString& s) { return s; }
int Count(const CTString& s) {
  return (reinterpret_cast<const TStringData*>(Chars(s)) - 1)->nRefCount.load();
}

TEST(CTStringAllocationTest, CopiesOfSharedAndEmptyStringsAllocateNothing) {
  CTString text("some text to share");
  CTString empty;
  AllocationCount count;
  {
    CTString copy(text);
    CTString copy2 = copy;
    CTString assigned;
    assigned = copy2;
    CTString emptyCopy(empty);
    CTString defaulted;
    defaulted = empty;
    EXPECT_EQ(Count(text), 4);
  }
  EXPECT_EQ(count.Made(), 0);
  EXPECT_EQ(Count(text), 1);

  AllocationCount write;
  CTString copy(text);
  copy.SetAt(0, 'S');  // the first write pays for the private copy
  EXPECT_EQ(write.Made(), 1);
}

TEST(CTStringAllocationTest, AppendingWithoutRoomCostsOneExactAllocation) {
  CTString s;
  AllocationCount count;
  for (int i = 0; i < 10; ++i) s += 'x';
  EXPECT_EQ(count.Made(), 10);  // no growth factor
  EXPECT_EQ(s.GetAllocLength(), 10);
  s.GetBuffer(200);
  AllocationCount inPlace;
  for (int i = 0; i < 50; ++i) s += "ab";
  EXPECT_EQ(inPlace.Made(), 0);
}

TEST(CTStringAllocationTest, ExhaustionLeavesTheStringAsDocumented) {
  // Detaching a shared block: the writer is left empty, the other holder intact.
  CTString original("shared text");
  CTString writer(original);
  {
    FailingHeap heap(0);
    EXPECT_THROW(writer.SetAt(0, 'X'), std::bad_alloc);
  }
  EXPECT_TRUE(writer.IsEmpty());
  EXPECT_STREQ(original, "shared text");
  EXPECT_EQ(Count(original), 1);

  // Assignment needing a new block: empty.
  CTString assigned(original);
  {
    FailingHeap heap(0);
    EXPECT_THROW(assigned = "another text", std::bad_alloc);
  }
  EXPECT_TRUE(assigned.IsEmpty());
  EXPECT_EQ(Count(original), 1);

  // Concatenation, substrings, GetBuffer, FreeExtra: unchanged.
  CTString kept("abc");
  {
    FailingHeap heap(0);
    EXPECT_THROW(kept += "def", std::bad_alloc);
    EXPECT_THROW(kept.Mid(1), std::bad_alloc);
    EXPECT_THROW(kept.GetBuffer(100), std::bad_alloc);
    EXPECT_THROW((void)(kept + "x"), std::bad_alloc);
  }
  EXPECT_STREQ(kept, "abc");
  kept.GetBuffer(50);
  {
    FailingHeap heap(0);
    EXPECT_THROW(kept.FreeExtra(), std::bad_alloc);
  }
  EXPECT_STREQ(kept, "abc");
  EXPECT_EQ(kept.GetAllocLength(), 50);

  // Conversion from UTF-16 that has to grow its block for three-byte
  // characters: fail the Nth allocation (the converter may allocate too)
  // until the conversion gets through. Each failure leaves the string empty.
  bool done = false;
  for (long allowed = 0; allowed < 50 && !done; ++allowed) {
    CTString target("x");
    try {
      FailingHeap heap(allowed);
      target = u"\u20ac\u20ac\u20ac";
      done = true;
    } catch (const std::bad_alloc&) {
      EXPECT_TRUE(target.IsEmpty()) << "failing allocation " << allowed;
      continue;
    }
    EXPECT_STREQ(target, "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC");
  }
  EXPECT_TRUE(done);
  for (long allowed = 0; allowed < 50; ++allowed) {
    try {
      FailingHeap heap(allowed);
      CTString made(u"\u20ac\u20ac\u20ac");
      EXPECT_EQ(made.GetLength(), 9);
      break;
    } catch (const std::bad_alloc&) {
    }
  }
  // Nothing leaked: LeakSanitizer checks at exit.
}

TEST(CTWStringAllocationTest, CopiesShareAndExhaustionBehavesLikeCTString) {
  CTWString text(u"wide text");
  AllocationCount count;
  {
    CTWString copy(text);
    CTWString assigned;
    assigned = copy;
    CTWString empty;
    CTWString emptyCopy(empty);
  }
  EXPECT_EQ(count.Made(), 0);

  CTWString writer(text);
  {
    FailingHeap heap(0);
    EXPECT_THROW(writer.MakeUpper(), std::bad_alloc);
    EXPECT_THROW(text += u"more", std::bad_alloc);
  }
  EXPECT_TRUE(writer.IsEmpty());
  EXPECT_EQ(std::u16string(static_cast<const WCHAR*>(text)), u"wide text");
}

}  // namespace
