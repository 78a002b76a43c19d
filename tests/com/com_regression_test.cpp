// Regression tests for faults found while building the data-access layer
// on the COM support types.
#include <gtest/gtest.h>
#include <korvo/com/com_ptr.h>
#include <korvo/com/connection_point.h>
#include <korvo/com/object.h>

#include <vector>

namespace {

struct IPing : IUnknown {
  virtual void Ping() = 0;

 protected:
  ~IPing() = default;
};

}  // namespace

KORVO_DEFINE_UUID(IPing, "5a0e1c64-7d0b-4b6e-9a51-2f8b0d6c1a01")
_COM_SMARTPTR_TYPEDEF(IPing, __uuidof(IPing));

namespace {

class Pinger final : public korvo::com::Object<IPing> {
 public:
  void Ping() override { ++pings; }
  int pings = 0;
};

IPingPtr MakePing() {
  IPing* p = nullptr;
  EXPECT_EQ(korvo::com::CreateObject<Pinger>(__uuidof(IPing), reinterpret_cast<void**>(&p)), S_OK);
  return IPingPtr(p, false);
}

// Move assignment compared `this` with `&other`, which is the overloaded
// out-argument operator& (it releases `other`'s pointer and yields an
// Interface**): it did not compile, and would have dropped the source.
TEST(ComRegression, SmartPointersMoveInsideContainers) {
  std::vector<IPingPtr> pointers;
  for (int i = 0; i < 5; ++i) pointers.push_back(MakePing());
  pointers.erase(pointers.begin() + 1);  // move-assigns the rest down
  ASSERT_EQ(pointers.size(), 4u);
  for (auto& p : pointers) {
    ASSERT_TRUE(p);
    p->Ping();
  }
  IPingPtr a = MakePing();
  IPingPtr& alias = a;
  a = std::move(alias);  // self-move keeps the pointer
  EXPECT_TRUE(a);
}

class Source final : public korvo::com::Object<IConnectionPointContainer> {
 public:
  Source() { korvo::com::ConnectionPoint::Create(this, __uuidof(IPing), &point); }
  ~Source() override { point->Disconnect(); }
  HRESULT EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** out) override {
    return point->Find(riid, out);
  }
  korvo::com::ConnectionPointPtr point;
};

// ForEachSink with a lambda handed a temporary std::function to its other
// overload, which chose the lambda template again: endless recursion.
TEST(ComRegression, ForEachSinkTakesALambda) {
  IConnectionPointContainer* raw = nullptr;
  ASSERT_EQ(korvo::com::CreateObject<Source>(__uuidof(IConnectionPointContainer),
                                             reinterpret_cast<void**>(&raw)),
            S_OK);
  IConnectionPointContainerPtr container(raw, false);
  IPingPtr sink = MakePing();
  IConnectionPointPtr point;
  ASSERT_EQ(container->FindConnectionPoint(__uuidof(IPing), &point), S_OK);
  DWORD cookie = 0;
  ASSERT_EQ(point->Advise(sink, &cookie), S_OK);
  auto* source = static_cast<Source*>(raw);
  int calls = 0;
  source->point->ForEachSink<IPing>([&](IPing* p) {
    p->Ping();
    ++calls;
  });
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(static_cast<Pinger*>(sink.GetInterfacePtr())->pings, 1);
  EXPECT_EQ(point->Unadvise(cookie), S_OK);
}

}  // namespace
