// _com_ptr_t: reference counting, creation, interface queries, null use.
#include <gtest/gtest.h>
#include <korvo/com/coinit.h>
#include <korvo/com/com_ptr.h>

#include "test_objects.h"

_COM_SMARTPTR_TYPEDEF(ICounter, __uuidof(ICounter));
_COM_SMARTPTR_TYPEDEF(INamed, __uuidof(INamed));
_COM_SMARTPTR_TYPEDEF(IAbsent, __uuidof(IAbsent));

namespace {

class ComPtr : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    korvo::com::RegisterComClass(KORVO_UUIDOF(CounterClass), korvo::test::CreateCounter,
                                 u"Korvo.Counter");
  }
  void TearDown() override {
    korvo::com::UnregisterComClass(KORVO_UUIDOF(CounterClass));
    CoUninitialize();
    EXPECT_EQ(korvo::test::g_liveCounters, 0);  // every reference was released
  }
};

// The object's reference count, read without changing it.
ULONG Refs(IUnknown* p) {
  p->AddRef();
  return p->Release();
}

}  // namespace

TEST_F(ComPtr, UseWhileNullRaisesEPointer) {
  ICounterPtr p;
  EXPECT_TRUE(p == NULL);
  EXPECT_TRUE(p == nullptr);
  EXPECT_TRUE(p == 0);
  EXPECT_FALSE(p != NULL);
  EXPECT_TRUE(!p);
  EXPECT_FALSE(static_cast<bool>(p));
  using korvo::test::RaisedBy;
  EXPECT_EQ(RaisedBy([&] { p->Add(1); }), E_POINTER);
  EXPECT_EQ(RaisedBy([&] { (*p).Value(); }), E_POINTER);
  EXPECT_EQ(RaisedBy([&] { p.AddRef(); }), E_POINTER);
  EXPECT_EQ(RaisedBy([&] { p.Release(); }), E_POINTER);
  EXPECT_EQ(p.QueryInterface(IID_IUnknown, static_cast<IUnknown**>(nullptr)), E_POINTER);
}

TEST_F(ComPtr, CreateInstanceCountsReferences) {
  ICounterPtr p;
  ASSERT_EQ(p.CreateInstance(__uuidof(CounterClass)), S_OK);
  ASSERT_TRUE(p != NULL);
  EXPECT_EQ(Refs(p), 1u);
  p->Add(5);
  {
    ICounterPtr copy = p;
    EXPECT_EQ(Refs(p), 2u);
    ICounterPtr moved = std::move(copy);
    EXPECT_EQ(Refs(p), 2u);
    EXPECT_TRUE(copy == nullptr);
    EXPECT_EQ(moved->Value(), 5);
    moved = moved;  // self-assignment keeps the reference
    EXPECT_EQ(Refs(p), 2u);
  }
  EXPECT_EQ(Refs(p), 1u);

  ICounterPtr byName;
  EXPECT_EQ(byName.CreateInstance(u"Korvo.Counter"), S_OK);
  EXPECT_EQ(byName.CreateInstance(u"{6B1E1A10-0100-4C3B-9D2E-4B6F1E0A0100}"), S_OK);
  EXPECT_EQ(byName.CreateInstance(u"No.Such.Class"), CO_E_CLASSSTRING);
  EXPECT_TRUE(byName == nullptr);
  IAbsentPtr absent;
  EXPECT_EQ(absent.CreateInstance(__uuidof(CounterClass)), E_NOINTERFACE);
  EXPECT_TRUE(absent == nullptr);

  ICounterPtr constructed(__uuidof(CounterClass));
  EXPECT_TRUE(constructed != nullptr);
  EXPECT_EQ(korvo::test::RaisedBy([] { ICounterPtr unknown(__uuidof(ICounter)); }),  // not a class
            CLASS_E_CLASSNOTAVAILABLE);
}

TEST_F(ComPtr, ConversionsBetweenInterfacesQueryTheObject) {
  ICounterPtr counter(__uuidof(CounterClass));
  INamedPtr named = counter;  // QueryInterface
  ASSERT_TRUE(named != nullptr);
  EXPECT_STREQ(named->Name(), "counter");
  EXPECT_EQ(Refs(counter), 2u);
  EXPECT_TRUE(named == counter);  // same object, compared by identity
  EXPECT_TRUE(counter == named.GetInterfacePtr());
  INamedPtr assigned;
  assigned = counter;  // assignment from another interface queries too
  ASSERT_TRUE(assigned != nullptr);
  EXPECT_EQ(Refs(counter), 3u);
  ICounterPtr target;
  ICounterPtr source = counter;
  target = std::move(source);  // the moved pointer is handed over, not released
  EXPECT_TRUE(source == nullptr);
  ASSERT_TRUE(target != nullptr);
  EXPECT_EQ(target->Value(), 0);
  EXPECT_EQ(Refs(counter), 4u);
  assigned = nullptr;
  target = nullptr;
  IAbsentPtr absent = counter;  // not supported: null
  EXPECT_TRUE(absent == nullptr);
  IUnknownPtr unknown = counter;
  IDispatchPtr dispatch = counter;
  EXPECT_TRUE(dispatch != nullptr);
  EXPECT_TRUE(unknown == dispatch);

  ICounterPtr other(__uuidof(CounterClass));
  EXPECT_FALSE(other == counter);
  EXPECT_TRUE(other != counter);
  EXPECT_TRUE((other < counter) != (counter < other));

  _variant_t v(static_cast<IUnknown*>(counter));
  INamedPtr fromVariant(v);
  EXPECT_TRUE(fromVariant == counter);
  EXPECT_EQ(korvo::test::RaisedBy([] { INamedPtr bad(_variant_t(3L)); }), DISP_E_TYPEMISMATCH);
}

TEST_F(ComPtr, AttachDetachAndOutArguments) {
  ICounter* raw = nullptr;
  ASSERT_EQ(CoCreateInstance(__uuidof(CounterClass), nullptr, CLSCTX_ALL, __uuidof(ICounter),
                             reinterpret_cast<void**>(&raw)),
            S_OK);
  ICounterPtr p;
  p.Attach(raw);  // takes the reference
  EXPECT_EQ(Refs(raw), 1u);
  ICounter* back = p.Detach();
  EXPECT_TRUE(p == nullptr);
  EXPECT_EQ(back, raw);
  p.Attach(back, true);  // adds its own
  EXPECT_EQ(Refs(raw), 2u);
  back->Release();
  ICounterPtr shared(raw);  // AddRef
  EXPECT_EQ(Refs(raw), 2u);
  raw->AddRef();
  ICounterPtr taken(raw, false);  // takes over the reference just added
  EXPECT_EQ(Refs(raw), 3u);

  // operator& releases what was held and hands out the slot.
  ICounterPtr out = p;
  EXPECT_EQ(Refs(raw), 4u);
  ASSERT_EQ(CoCreateInstance(__uuidof(CounterClass), nullptr, CLSCTX_ALL, __uuidof(ICounter),
                             reinterpret_cast<void**>(&out)),
            S_OK);
  EXPECT_EQ(Refs(raw), 3u);
  EXPECT_FALSE(out == p);

  p = nullptr;
  shared = NULL;
  EXPECT_EQ(Refs(raw), 1u);
  taken.Release();
  EXPECT_TRUE(taken == nullptr);
}
