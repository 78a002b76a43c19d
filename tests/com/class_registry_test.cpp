// CoInitializeEx per thread and creation by class identifier.
#include <gtest/gtest.h>
#include <korvo/com/class_registry.h>
#include <korvo/com/coinit.h>

#include <thread>

#include "test_objects.h"

namespace {

class ClassRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(korvo::com::RegisterComClass(KORVO_UUIDOF(CounterClass), korvo::test::CreateCounter,
                                           u"Korvo.Counter"),
              S_OK);
  }
  void TearDown() override { korvo::com::UnregisterComClass(KORVO_UUIDOF(CounterClass)); }
};

HRESULT Create(ICounter** out) {
  return CoCreateInstance(KORVO_UUIDOF(CounterClass), nullptr, CLSCTX_ALL, KORVO_UUIDOF(ICounter),
                          reinterpret_cast<void**>(out));
}

}  // namespace

TEST_F(ClassRegistry, CreationNeedsComOnTheCallingThread) {
  ICounter* counter = reinterpret_cast<ICounter*>(0x1);
  EXPECT_EQ(Create(&counter), CO_E_NOTINITIALIZED);
  EXPECT_EQ(counter, nullptr);

  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  ASSERT_EQ(Create(&counter), S_OK);
  ASSERT_NE(counter, nullptr);
  counter->Add(3);
  EXPECT_EQ(counter->Value(), 3);
  counter->Release();
  EXPECT_EQ(korvo::test::g_liveCounters, 0);

  // Another thread that never initialised COM is refused, whatever this
  // thread did.
  HRESULT other = S_OK;
  std::thread([&] {
    ICounter* c = nullptr;
    other = Create(&c);
  }).join();
  EXPECT_EQ(other, CO_E_NOTINITIALIZED);

  CoUninitialize();
  EXPECT_EQ(Create(&counter), CO_E_NOTINITIALIZED);
}

TEST_F(ClassRegistry, NestedInitialisationIsCounted) {
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);  // not counted
  EXPECT_EQ(CoInitializeEx(reinterpret_cast<void*>(1), COINIT_APARTMENTTHREADED), E_INVALIDARG);
  CoUninitialize();
  EXPECT_TRUE(korvo::com::IsComInitialized());
  ICounter* counter = nullptr;
  ASSERT_EQ(Create(&counter), S_OK);
  counter->Release();
  CoUninitialize();
  EXPECT_FALSE(korvo::com::IsComInitialized());
  CoUninitialize();  // one too many: harmless
  EXPECT_EQ(Create(&counter), CO_E_NOTINITIALIZED);
  // After the last uninitialise the thread may choose another model.
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  CoUninitialize();
}

TEST_F(ClassRegistry, UnknownClassesInterfacesAndAggregation) {
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  void* out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(CoCreateInstance(KORVO_UUIDOF(ICounter), nullptr, CLSCTX_ALL, IID_IUnknown, &out),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(CoCreateInstance(KORVO_UUIDOF(CounterClass), nullptr, CLSCTX_ALL, KORVO_UUIDOF(IAbsent),
                             &out),
            E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(korvo::test::g_liveCounters, 0);  // the refused object went away
  IUnknown* outer = nullptr;
  ASSERT_EQ(CoCreateInstance(KORVO_UUIDOF(CounterClass), nullptr, CLSCTX_INPROC_SERVER,
                             IID_IUnknown, reinterpret_cast<void**>(&outer)),
            S_OK);
  EXPECT_EQ(CoCreateInstance(KORVO_UUIDOF(CounterClass), outer, CLSCTX_ALL, IID_IUnknown, &out),
            CLASS_E_NOAGGREGATION);
  outer->Release();
  EXPECT_EQ(
      CoCreateInstance(KORVO_UUIDOF(CounterClass), nullptr, CLSCTX_ALL, IID_IUnknown, nullptr),
      E_POINTER);

  EXPECT_EQ(korvo::com::UnregisterComClass(KORVO_UUIDOF(CounterClass)), S_OK);
  EXPECT_EQ(korvo::com::UnregisterComClass(KORVO_UUIDOF(CounterClass)), S_FALSE);
  EXPECT_EQ(CoCreateInstance(KORVO_UUIDOF(CounterClass), nullptr, CLSCTX_ALL, IID_IUnknown, &out),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(korvo::com::RegisterComClass(KORVO_UUIDOF(CounterClass), nullptr), E_INVALIDARG);
  CoUninitialize();
}

TEST_F(ClassRegistry, ProgIdsAndGuidText) {
  CLSID clsid = GUID_NULL;
  EXPECT_EQ(CLSIDFromProgID(u"korvo.COUNTER", &clsid), S_OK);
  EXPECT_EQ(clsid, KORVO_UUIDOF(CounterClass));
  EXPECT_EQ(CLSIDFromProgID(u"Korvo.Counte", &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(CLSIDFromProgID(u"Korvo.Counter2", &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);

  OLECHAR text[39];
  ASSERT_EQ(StringFromGUID2(KORVO_UUIDOF(CounterClass), text, 39), 39);
  EXPECT_EQ(std::u16string(text), u"{6B1E1A10-0100-4C3B-9D2E-4B6F1E0A0100}");
  EXPECT_EQ(StringFromGUID2(KORVO_UUIDOF(CounterClass), text, 38), 0);
  clsid = GUID_NULL;
  EXPECT_EQ(CLSIDFromString(text, &clsid), S_OK);
  EXPECT_EQ(clsid, KORVO_UUIDOF(CounterClass));
  EXPECT_EQ(CLSIDFromString(u"Korvo.Counter", &clsid), S_OK);
  IID iid;
  EXPECT_EQ(IIDFromString(u"{00000000-0000-0000-c000-000000000046}", &iid), S_OK);
  EXPECT_EQ(iid, IID_IUnknown);
  EXPECT_EQ(IIDFromString(u"{00000000-0000-0000-C000-00000000004}", &iid), CO_E_CLASSSTRING);
  EXPECT_EQ(IIDFromString(u"{00000000-0000-0000-C000-0000000000467}", &iid), CO_E_CLASSSTRING);
  EXPECT_EQ(IIDFromString(u"{00000000x0000-0000-C000-000000000046}", &iid), CO_E_CLASSSTRING);
  EXPECT_EQ(IIDFromString(u"{0000000G-0000-0000-C000-000000000046}", &iid), CO_E_CLASSSTRING);
  EXPECT_EQ(IIDFromString(u"", &iid), CO_E_CLASSSTRING);
}

TEST(Guid, CompileTimeTextAndOrdering) {
  constexpr GUID g = korvo::com::GuidFromText("00020400-0000-0000-C000-000000000046");
  static_assert(g == IID_IDispatch);
  static_assert(g.Data1 == 0x00020400 && g.Data4[0] == 0xC0 && g.Data4[7] == 0x46);
  EXPECT_TRUE(IsEqualIID(g, IID_IDispatch));
  EXPECT_FALSE(IsEqualGUID(IID_IUnknown, IID_IDispatch));
  EXPECT_TRUE(IID_IUnknown < IID_IDispatch);
  EXPECT_FALSE(IID_IDispatch < IID_IUnknown);
  EXPECT_EQ(&__uuidof(IDispatch), &KORVO_UUIDOF(IDispatch));
}

TEST(Object, QueryInterfaceFollowsTheRules) {
  ICounter* counter = korvo::test::NewCounter();
  ASSERT_NE(counter, nullptr);
  IUnknown* u1 = nullptr;
  IUnknown* u2 = nullptr;
  INamed* named = nullptr;
  IDispatch* dispatch = nullptr;
  ASSERT_EQ(counter->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&u1)), S_OK);
  ASSERT_EQ(counter->QueryInterface(&named), S_OK);  // typed form
  ASSERT_EQ(named->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&u2)), S_OK);
  EXPECT_EQ(u1, u2);  // one identity whichever interface is asked
  ASSERT_EQ(counter->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
  EXPECT_EQ(static_cast<void*>(dispatch),
            static_cast<void*>(named));  // INamed derives from IDispatch
  EXPECT_STREQ(named->Name(), "counter");
  IAbsent* absent = reinterpret_cast<IAbsent*>(0x1);
  EXPECT_EQ(counter->QueryInterface(&absent), E_NOINTERFACE);
  EXPECT_EQ(absent, nullptr);
  EXPECT_EQ(counter->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  for (IUnknown* p : {static_cast<IUnknown*>(dispatch), static_cast<IUnknown*>(named), u2, u1})
    p->Release();
  EXPECT_EQ(counter->Release(), 0u);
  EXPECT_EQ(korvo::test::g_liveCounters, 0);
}

// Registration and creation from two threads at once (the sanitizer build
// watches for races on the table).
TEST(ClassRegistryThreads, RegisterAndCreateConcurrently) {
  auto worker = [](int seed) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    for (int i = 0; i < 500; ++i) {
      if ((i + seed) % 7 == 0) {
        korvo::com::RegisterComClass(KORVO_UUIDOF(CounterClass), korvo::test::CreateCounter,
                                     u"Korvo.Counter");
      }
      ICounter* counter = nullptr;
      HRESULT hr = Create(&counter);
      ASSERT_TRUE(hr == S_OK || hr == CLASS_E_CLASSNOTAVAILABLE);
      if (counter != nullptr) counter->Release();
      if ((i + seed) % 11 == 0) korvo::com::UnregisterComClass(KORVO_UUIDOF(CounterClass));
    }
    CoUninitialize();
  };
  std::thread a(worker, 0), b(worker, 3);
  a.join();
  b.join();
  korvo::com::UnregisterComClass(KORVO_UUIDOF(CounterClass));
  EXPECT_EQ(korvo::test::g_liveCounters, 0);
}
