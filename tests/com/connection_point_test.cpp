// Connection points: advising sinks, cookies, firing, teardown.
#include <gtest/gtest.h>
#include <korvo/com/connection_point.h>

#include <stdexcept>
#include <vector>

#include "test_objects.h"

struct ITicks : IUnknown {
  virtual void OnTick(int n) = 0;

 protected:
  ~ITicks() = default;
};
KORVO_DEFINE_UUID(ITicks, "6B1E1A10-0200-4C3B-9D2E-4B6F1E0A0200")

namespace {

std::atomic<int> g_liveObjects{0};

class Source final : public korvo::com::Object<IConnectionPointContainer> {
 public:
  Source() {
    ++g_liveObjects;
    korvo::com::ConnectionPoint::Create(this, KORVO_UUIDOF(ITicks), &ticks_);
  }
  HRESULT EnumConnectionPoints(IEnumConnectionPoints** out) override {
    if (out != nullptr) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** out) override {
    return ticks_->Find(riid, out);
  }
  void Tick(int n) {
    ticks_->ForEachSink<ITicks>([n](ITicks* sink) { sink->OnTick(n); });
  }
  size_t Sinks() const { return ticks_->SinkCount(); }

 private:
  ~Source() override {
    ticks_->Disconnect();
    --g_liveObjects;
  }
  korvo::com::ConnectionPointPtr ticks_;
};

class Sink final : public korvo::com::Object<ITicks> {
 public:
  explicit Sink(std::vector<int>* log, int tag) : log_(log), tag_(tag) { ++g_liveObjects; }
  void OnTick(int n) override {
    log_->push_back(tag_ * 100 + n);
    if (onTick) onTick();
  }
  std::function<void()> onTick;

 private:
  ~Sink() override { --g_liveObjects; }
  std::vector<int>* log_;
  int tag_;
};

template <class T, class... Args>
T* New(Args&&... args) {
  T* object = new T(std::forward<Args>(args)...);
  object->AddRef();
  return object;
}

}  // namespace

TEST(ConnectionPoint, AdviseFireUnadvise) {
  std::vector<int> log;
  Source* source = New<Source>();
  Sink* first = New<Sink>(&log, 1);
  Sink* second = New<Sink>(&log, 2);

  IConnectionPointContainerPtr container(static_cast<IConnectionPointContainer*>(source));
  IConnectionPointPtr point;
  ASSERT_EQ(container->FindConnectionPoint(KORVO_UUIDOF(ITicks), &point), S_OK);
  IConnectionPoint* none = reinterpret_cast<IConnectionPoint*>(0x1);
  EXPECT_EQ(container->FindConnectionPoint(KORVO_UUIDOF(ICounter), &none), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(none, nullptr);
  IID iid = GUID_NULL;
  EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
  EXPECT_EQ(iid, KORVO_UUIDOF(ITicks));
  IConnectionPointContainer* back = nullptr;
  ASSERT_EQ(point->GetConnectionPointContainer(&back), S_OK);
  EXPECT_EQ(back, static_cast<IConnectionPointContainer*>(source));
  back->Release();

  DWORD c1 = 0, c2 = 0;
  ASSERT_EQ(point->Advise(static_cast<ITicks*>(first), &c1), S_OK);
  ASSERT_EQ(point->Advise(static_cast<ITicks*>(second), &c2), S_OK);
  EXPECT_NE(c1, 0u);
  EXPECT_NE(c1, c2);
  EXPECT_EQ(source->Sinks(), 2u);
  source->Tick(1);
  EXPECT_EQ(log, (std::vector<int>{101, 201}));  // advise order

  EXPECT_EQ(point->Unadvise(c1), S_OK);
  EXPECT_EQ(point->Unadvise(c1), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point->Unadvise(12345), CONNECT_E_NOCONNECTION);
  source->Tick(2);
  EXPECT_EQ(log, (std::vector<int>{101, 201, 202}));

  // A sink without the interface is refused; cookies are not reused.
  ICounter* counter = korvo::test::NewCounter();
  ASSERT_NE(counter, nullptr);
  DWORD refused = 99;
  EXPECT_EQ(point->Advise(counter, &refused), CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(refused, 0u);
  counter->Release();
  DWORD c3 = 0;
  ASSERT_EQ(point->Advise(static_cast<ITicks*>(first), &c3), S_OK);
  EXPECT_NE(c3, c1);
  EXPECT_NE(c3, c2);
  EXPECT_EQ(point->Advise(nullptr, &c3), E_POINTER);
  EXPECT_EQ(point->EnumConnections(nullptr), E_NOTIMPL);

  // Releasing the source releases the sinks it still holds, and a point
  // kept by a client outlives it safely.
  container = nullptr;
  first->Release();
  second->Release();
  source->Release();
  EXPECT_EQ(g_liveObjects, 0);
  IConnectionPointContainer* gone = nullptr;
  EXPECT_EQ(point->GetConnectionPointContainer(&gone), E_UNEXPECTED);
  DWORD late = 0;
  Sink* lateSink = New<Sink>(&log, 3);
  EXPECT_EQ(point->Advise(static_cast<ITicks*>(lateSink), &late), E_UNEXPECTED);
  lateSink->Release();
  point = nullptr;
  EXPECT_EQ(g_liveObjects, 0);
}

TEST(ConnectionPoint, SinksMayUnadviseDuringAnEventAndExceptionsPass) {
  std::vector<int> log;
  Source* source = New<Source>();
  Sink* first = New<Sink>(&log, 1);
  Sink* second = New<Sink>(&log, 2);
  IConnectionPointPtr point;
  ASSERT_EQ(source->FindConnectionPoint(KORVO_UUIDOF(ITicks), &point), S_OK);
  DWORD c1 = 0, c2 = 0;
  point->Advise(static_cast<ITicks*>(first), &c1);
  point->Advise(static_cast<ITicks*>(second), &c2);
  first->Release();  // only the point holds the sinks now
  second->Release();

  first->onTick = [&] { EXPECT_EQ(point->Unadvise(c1), S_OK); };  // releases itself mid-event
  source->Tick(1);
  EXPECT_EQ(log, (std::vector<int>{101, 201}));
  source->Tick(2);
  EXPECT_EQ(log, (std::vector<int>{101, 201, 202}));

  second->onTick = [] { throw std::runtime_error("sink failed"); };
  EXPECT_THROW(source->Tick(3), std::runtime_error);
  EXPECT_EQ(source->Sinks(), 1u);

  point = nullptr;
  source->Release();
  EXPECT_EQ(g_liveObjects, 0);
}
